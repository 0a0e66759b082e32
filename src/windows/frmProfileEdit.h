#pragma once
// Edits the user's delivery profiles: the same INI files the deliveries read, one field per key of the
// file (the fields are named by the keys, as the example profiles explain them). A profile is written
// only whole and only when it reads back without an error.
#include <QDialog>
#include <QHash>

class MainWindowContext;
class QComboBox;
class QWidget;

class frmProfileEdit : public QDialog {
    Q_OBJECT
public:
    frmProfileEdit(MainWindowContext &main, QWidget *owner);

    // Shows the profile of that name (a user's, else the PC's) in the fields; a new name empties them.
    void showProfile(const QString &name);
    // Checks and writes the profile of the fields to the user's folder; false (the user told why) when
    // it has an error or cannot be written.
    bool save();
    // The field of an INI key ("Columns"): a QLineEdit or a QComboBox.
    QWidget *field(const QString &key) const { return m_fields.value(key); }
    QComboBox *nameBox() const { return m_name; }
    // The profile file's text the fields make.
    QString iniText() const;

private:
    MainWindowContext &m_main;
    QComboBox *m_name;
    QHash<QString, QWidget *> m_fields;
    QStringList m_keys;
};
