#pragma once
// A printer that keeps what it is given: documents as pages of lines. Every character is charWidth
// wide and every line lineHeight high at 11 points (scaled with the font size), so a test knows the
// page geometry exactly.
#include "PrintTarget.h"

#include <QList>
#include <QStringList>

class RecordingPrintTarget : public PrintTarget {
public:
    struct Document {
        QList<QStringList> pages;
        bool ended = false;
        bool aborted = false;
    };

    QString name = QStringLiteral("Recording printer");
    int count = 1;
    double width = 80;      // printable width
    double height = 66;     // printable height
    double charWidth = 1;   // at 11 points
    double lineHeight = 1;  // at 11 points
    double fontSize = 0;    // as last set
    bool failLines = false; // every printLine fails

    QList<Document> documents;

    QString printerName() const override { return count > 0 ? name : QString(); }
    int printerCount() const override { return count; }
    bool setFontSize(double points) override;
    double printableWidth() const override { return width; }
    double printableHeight() const override { return height; }
    double textWidth(const QString &text) const override;
    double textHeight(const QString &text) const override;
    bool printLine(const QString &text) override;
    bool newPage() override;
    bool endDocument() override;
    void abortDocument() override;

    // All lines of the last document, pages joined.
    QStringList lastLines() const;

private:
    Document &current();
    bool m_open = false;
};
