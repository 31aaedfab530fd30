#pragma once

#include <QString>
#include <QStringList>

class Recordset;

// Writes the ranking page, one part at a time, each part's lines in Windows-1252 and each ended by
// CR LF: the head starts the page anew, the other parts append to it. The parts are gathered in
// memory and written to the file in one go by save(); every failure to write is a Failure.
class ReportWriter
{
public:
    explicit ReportWriter(QString path);

    // Lines 1 to 18: the page head, the host's nickname as stored and the last-update stamp
    // (the present moment in the system's general date format).
    void writeHead(const QString& nickname);
    // Lines 19 to 33: the table and its header row.
    void writeTableHeader();
    // One row of ten lines for each of the first records players of the ranking, or for
    // every player when there are fewer; none when records is 0 or less.
    void writeRows(Recordset& ranking, int records);
    // The closing lines.
    void writeFooter();
    // Writes the page as the parts left it to the file, replacing what it held.
    void save() const;

private:
    // Starts the page anew when mode is anything but exactly "Append", then adds the lines.
    void writeLines(const QString& mode, const QStringList& lines);
    // Starts the page anew when mode is anything but exactly "Append".
    void startPart(const QString& mode);

    QString m_path;
    QByteArray m_page;
};
