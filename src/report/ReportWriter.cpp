#include "ReportWriter.h"

#include "db/Recordset.h"
#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/SystemFormats.h"
#include "platform/Windows1252.h"

#include <QDateTime>
#include <QFile>
#include <QStringBuilder>

#include <array>
#include <iterator>

namespace {

const QString generatorLabel = QStringLiteral("Tallyvane v1.0");
const QString authorCredit = QStringLiteral("the Tallyvane project (tallyvane@example.org)");

const QString nameCell = QStringLiteral(R"(      <td width="129"><font size="2" face="Arial">)");
const QString numberCell = QStringLiteral(R"(      <td width="65"><font size="2" face="Arial">)");
const QString cellEnd = QStringLiteral("</font></td>");

const char* const numberFields[] = {"fldSkill",     "fldAccuracy",      "fldKills",
                                    "fldKilled",    "fldHitPercent",    "fldAverageRounds",
                                    "fldGamesPlayed"};

// A field's value as cell text: nothing for a null, whole numbers in plain decimal. Markup
// characters are escaped, so that no name in the table can add markup to a published page.
QString cellText(const QVariant& value)
{
    if (value.isNull())
        return {};
    if (value.typeId() == QMetaType::LongLong) // no markup in a number
        return QString::number(value.toLongLong());
    return value.toString().toHtmlEscaped();
}

} // namespace

ReportWriter::ReportWriter(QString path) : m_path(std::move(path)) {}

void ReportWriter::openReport(QFile& file, const QString& mode) const
{
    const QIODevice::OpenMode openMode = mode == QLatin1String("Append")
                                             ? QIODevice::WriteOnly | QIODevice::Append
                                             : QIODevice::WriteOnly | QIODevice::Truncate;
    if (!file.open(openMode))
        throw FileOperations::failureOf(file, m_path, QIODevice::WriteOnly);
}

void ReportWriter::writeLines(const QString& mode, const QStringList& lines) const
{
    QByteArray content;
    for (const QString& line : lines) {
        content += Windows1252::encodeHtml(line);
        content += "\r\n";
    }
    QFile file(m_path);
    openReport(file, mode);
    if (file.write(content) != content.size() || !file.flush())
        throw FileOperations::failureOf(file, m_path, QIODevice::WriteOnly);
    file.close();
}

void ReportWriter::writeHead(const QString& nickname)
{
    const QString lastUpdate = SystemFormats::generalDate(QDateTime::currentDateTime());
    writeLines(QStringLiteral("Output"), {
        QStringLiteral("<html>"),
        QStringLiteral(" "),
        QStringLiteral("<head>"),
        QStringLiteral(R"(<meta http-equiv="Content-Language" content="en-us">)"),
        QStringLiteral(R"(<meta http-equiv="Content-Type" content="text/html; charset=windows-1252">)"),
        QStringLiteral(R"(<meta name="GENERATOR" content=")") + generatorLabel + QStringLiteral(R"(">)"),
        QStringLiteral(R"(<meta name="Author" content=")") + authorCredit + QStringLiteral(R"(">)"),
        QStringLiteral("<title>Rogue Spear Statistics</title>"),
        QStringLiteral("</head>"),
        QStringLiteral(" "),
        QStringLiteral(R"(<body bgcolor="#000000" text="#FFFFFF" link="#FFFFFF" vlink="#FFFFFF" alink="#00FFFF">)"),
        QStringLiteral(" "),
        QStringLiteral(R"(<p align="left"><img border="0" src="tv-stat.jpg"></p>)"),
        QStringLiteral(" "),
        QStringLiteral(R"(<p align="left"><font size="2"><font color="#3399FF">statistics gathered from:</font><font color="#33CCFF">)"),
        nickname + QStringLiteral("'s server</font><br>"),
        QStringLiteral(R"(<font color="#3399FF">last update: </font><font color="#33CCFF">)"),
        lastUpdate + QStringLiteral(R"(</font><font color="#3399FF">&nbsp;</font></font></p>)"),
    });
}

void ReportWriter::writeTableHeader()
{
    writeLines(QStringLiteral("Append"), {
        QStringLiteral(R"(<div align="left">)"),
        QStringLiteral(R"(  <table border="6" cellpadding="2" cellspacing="0" bordercolor="#000000" bordercolorlight="#000000" bordercolordark="#000000">)"),
        QStringLiteral("    <tr>"),
        QStringLiteral(R"(      <td width="200" bgcolor="#000080"><font face="Arial" size="1"><b>Name</b></font></td>)"),
        QStringLiteral(R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Skill</b></font></td>)"),
        QStringLiteral(R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Accuracy</b></font></td>)"),
        QStringLiteral(R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Kills</b></font></td>)"),
        QStringLiteral(R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Killed</b></font></td>)"),
        QStringLiteral(R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Hit)"),
        QStringLiteral("        Percentage</b></font></td>"),
        QStringLiteral(R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Average)"),
        QStringLiteral("        Rounds</b></font></td>"),
        QStringLiteral(R"(      <td width="65" bgcolor="#000080"><font face="Arial" size="1"><b>Games)"),
        QStringLiteral("        Played</b></font></td>"),
        QStringLiteral("    </tr>"),
    });
}

void ReportWriter::writeRows(Recordset& ranking, int records)
{
    const int players = ranking.recordCount();
    const int rows = players < records ? players : records;
    QStringList lines;
    lines.reserve(rows > 0 ? rows * 10 : 0);
    // Rules that nobody passes leave no record, and no row.
    if (players > 0) {
        ranking.moveLast();
        ranking.moveFirst();
    }
    // The fields' positions, found once, at the first row: name first, then the numbers.
    std::array<int, 1 + std::size(numberFields)> columns{};
    for (int row = 1; row <= rows; ++row) {
        if (row == 1) {
            columns[0] = ranking.fieldIndex(u"fldName");
            for (std::size_t i = 0; i < std::size(numberFields); ++i)
                columns[i + 1] = ranking.fieldIndex(QLatin1String(numberFields[i]));
        }
        lines.append(QStringLiteral("    <tr>"));
        lines.append(nameCell % cellText(ranking.field(columns[0])) % cellEnd);
        for (std::size_t i = 1; i < columns.size(); ++i)
            lines.append(numberCell % cellText(ranking.field(columns[i])) % cellEnd);
        lines.append(QStringLiteral("    </tr>"));
        ranking.moveNext();
    }
    writeLines(QStringLiteral("Append"), lines);
}

void ReportWriter::writeFooter()
{
    writeLines(QStringLiteral("Append"), {
        QStringLiteral("    <tr>"),
        QStringLiteral(R"(      <td width="584" colspan="8">&nbsp;</td>)"),
        QStringLiteral("    </tr>"),
        QStringLiteral("    <tr>"),
        QStringLiteral(R"(      <td width="584" colspan="8" bgcolor="#000080"><font face="Times New Roman" size="2" color="#3399FF">Tallyvane - coded by)"),
        QStringLiteral(R"(      <a href = "mailto:tallyvane@example.org">the Tallyvane project</a> - <a href="https://tallyvane.example.org/">https://tallyvane.example.org/</a></font>)"),
        QStringLiteral("    </tr>"),
        QStringLiteral("  </table>"),
        QStringLiteral("</div>"),
        QStringLiteral("</body>"),
        QStringLiteral("</html>"),
    });
}
