#pragma once
// Reads all measured-value datasets from the meter in one exchange and splits the reply into records.
#include "LinkResult.h"

#include <QString>
#include <QStringList>

class CCommunication;
class CSerialLink;

class CImportMVal {
public:
    CImportMVal(CSerialLink *link, const CCommunication &communication)
        : m_link(link), m_communication(communication)
    {
    }

    // The meter's whole answer to the dataset command (end marker included) into strMVals; false,
    // with strMVals empty, when the exchange failed or the answer is not accepted.
    bool GetMVals(QString &strMVals);
    // How the link served the last GetMVals, with what the user is to be told besides the import's
    // own failure (a lost line, a time-out and after how long); the caller tells it.
    const LinkResult &linkResult() const { return m_linkResult; }

    // Takes one record from strMVals (whose leading CR LF the caller has cut) into the first intNum
    // elements of strMValRecSet and leaves strMVals at the CR LF that ended it. Cutting the front of
    // a string costs nothing, so a whole walk stays linear; RecordWalk does the same without copies.
    static bool ExtractNextRecSet(QStringList &strMValRecSet, QString &strMVals, qint16 intNum);

private:
    bool ReadDatasets(QString &strMVals);

    CSerialLink *m_link;
    const CCommunication &m_communication;
    LinkResult m_linkResult;
};
