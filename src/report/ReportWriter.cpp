#include "ReportWriter.h"

#include "db/Recordset.h"
#include "platform/Failure.h"
#include "platform/FileOperations.h"
#include "platform/SystemFormats.h"
#include "platform/Windows1252.h"

#include <QDateTime>
#include <QFile>
#include <QStringBuilder>

#include <algorithm>
#include <array>
#include <charconv>
#include <iterator>

namespace {

const QString generatorLabel = QStringLiteral("Tallyvane v1.0");
const QString authorCredit = QStringLiteral("the Tallyvane project (tallyvane@example.org)");

// A row's fixed text, already in the page's encoding.
constexpr QByteArrayView rowStart = "    <tr>\r\n";
constexpr QByteArrayView nameCell = R"(      <td width="129"><font size="2" face="Arial">)";
constexpr QByteArrayView numberCell = R"(      <td width="65"><font size="2" face="Arial">)";
constexpr QByteArrayView cellEnd = "</font></td>\r\n";
constexpr QByteArrayView rowEnd = "    </tr>\r\n";

const char* const numberFields[] = {"fldSkill",     "fldAccuracy",      "fldKills",
                                    "fldKilled",    "fldHitPercent",    "fldAverageRounds",
                                    "fldGamesPlayed"};

// Appends ASCII text with its markup characters escaped, as QString::toHtmlEscaped does.
void appendEscaped(QByteArray& content, QByteArrayView ascii)
{
    for (const char c : ascii) {
        switch (c) {
        case '<': content += "&lt;"; break;
        case '>': content += "&gt;"; break;
        case '&': content += "&amp;"; break;
        case '"': content += "&quot;"; break;
        default: content += c;
        }
    }
}

// Appends a field's value as cell text in the page's encoding: nothing for a null, whole
// numbers in plain decimal. Markup characters are escaped, so that no name in the table can add
// markup to a published page.
void appendCellText(QByteArray& content, const Recordset& ranking, int column)
{
    const Recordset::Value& value = ranking.value(column);
    QString text;
    switch (value.kind) {
    case Recordset::Value::Kind::Null:
        return;
    case Recordset::Value::Kind::Integer: { // no markup in a number
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, value.integer).ptr;
        content.append(digits, end - digits);
        return;
    }
    case Recordset::Value::Kind::Real:
        text = QVariant(value.real).toString();
        break;
    case Recordset::Value::Kind::Text:
    case Recordset::Value::Kind::Blob: {
        const QByteArrayView bytes = ranking.bytesOf(value);
        // ASCII reads the same in the page's encoding, so most names are escaped byte by byte.
        if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; })) {
            appendEscaped(content, bytes);
            return;
        }
        text = QString::fromUtf8(bytes);
        break;
    }
    }
    content += Windows1252::encodeHtml(text.toHtmlEscaped());
}

// The lines in the page's encoding, each ended by CR LF.
QByteArray encodedLines(const QStringList& lines)
{
    QByteArray content;
    for (const QString& line : lines)
        content += Windows1252::encodeHtml(line) + "\r\n";
    return content;
}

} // namespace

ReportWriter::ReportWriter(QString path) : m_path(std::move(path)) {}

void ReportWriter::writeLines(const QString& mode, const QStringList& lines)
{
    startPart(mode);
    m_page += encodedLines(lines);
}

void ReportWriter::startPart(const QString& mode)
{
    if (mode != QLatin1String("Append"))
        m_page.clear();
}

void ReportWriter::save() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(m_page) != m_page.size() || !file.flush())
        throw FileOperations::failureOf(file, m_path, QIODevice::WriteOnly);
    file.close();
}

void ReportWriter::writeHead(const QString& nickname)
{
    const QString lastUpdate = SystemFormats::generalDate(QDateTime::currentDateTime());
    static const QByteArray opening = encodedLines({
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
    });
    startPart(QStringLiteral("Output"));
    m_page += opening;
    writeLines(QStringLiteral("Append"), {
        nickname + QStringLiteral("'s server</font><br>"),
        QStringLiteral(R"(<font color="#3399FF">last update: </font><font color="#33CCFF">)"),
        lastUpdate + QStringLiteral(R"(</font><font color="#3399FF">&nbsp;</font></font></p>)"),
    });
}

void ReportWriter::writeTableHeader()
{
    static const QByteArray header = encodedLines({
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
    m_page += header;
}

void ReportWriter::writeRows(Recordset& ranking, int records)
{
    const int players = ranking.recordCount();
    const int rows = players < records ? players : records;
    // Room for the rows and the closing lines at once: the page grows into memory that is
    // taken once, not copied as it grows.
    m_page.reserve(m_page.size() + qsizetype(std::max(rows, 0)) * 640 + 1024);
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
        m_page += rowStart;
        m_page += nameCell;
        appendCellText(m_page, ranking, columns[0]);
        m_page += cellEnd;
        for (std::size_t i = 1; i < columns.size(); ++i) {
            m_page += numberCell;
            appendCellText(m_page, ranking, columns[i]);
            m_page += cellEnd;
        }
        m_page += rowEnd;
        ranking.moveNext();
    }
}

void ReportWriter::writeFooter()
{
    static const QByteArray footer = encodedLines({
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
    m_page += footer;
}
