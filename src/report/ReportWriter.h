#pragma once

#include <QString>
#include <QStringList>

class QFile;
class Recordset;

// Writes the ranking page, one part at a time: each writer opens the file, writes its lines
// (in Windows-1252, each ended by CR LF) and closes it again. The head starts the file anew;
// the other parts append to it. Every failure to open or write is a Failure.
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

private:
    // Opens the file for appending when mode is exactly "Append", and from the start
    // (created or emptied) for any other mode.
    void openReport(QFile& file, const QString& mode) const;
    void writeLines(const QString& mode, const QStringList& lines) const;

    QString m_path;
};
