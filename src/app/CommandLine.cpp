#include "CommandLine.h"

#include "app/ConsoleUserInterface.h"
#include "app/SingleInstance.h"

#include "about/ProgramIdentity.h"
#include "config/Config.h"
#include "import/ScanDriver.h"
#include "platform/Failure.h"
#include "platform/ProgramFiles.h"
#include "publish/FtpTransfer.h"
#include "publish/FtpUpload.h"
#include "report/GenerateHtml.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>

#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace CommandLine {
namespace {

// A Windows program built for its window has no console of its own: unless its output was
// redirected, it writes to the console of the command prompt that started it.
void attachConsole()
{
#ifdef _WIN32
    const bool out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    if ((!out || !err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out)
            std::freopen("CONOUT$", "w", stdout);
        if (!err)
            std::freopen("CONOUT$", "w", stderr);
    }
#endif
}

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// A step succeeded when its last status is the success text and no message box was shown.
bool succeeded(ConsoleUserInterface& ui, const QString& successPrefix, const char* step)
{
    const bool noBoxes = ui.takeMessages().isEmpty(); // taken in any case: they are this step's
    const bool ok = ui.status().startsWith(successPrefix) && noBoxes;
    if (!ok)
        say(QStringLiteral("Tallyvane: the %1 failed.").arg(QLatin1String(step)));
    return ok;
}

bool upload(const Config& config, const ProgramFiles& files, ConsoleUserInterface& ui)
{
    FtpTransfer transfer;
    QEventLoop loop;
    QObject::connect(&transfer, &FtpTransfer::stateChanged, &loop, [&](int state) {
        FtpUpload::handleStateChange(state, transfer, files, ui);
        if (!transfer.stillExecuting())
            loop.quit();
    });
    FtpUpload::uploadHtml(config, transfer, files, ui);
    if (transfer.stillExecuting())
        loop.exec();
    return succeeded(ui, QStringLiteral("HTML file successfully uploaded!"), "upload");
}

} // namespace

bool requested(int argc, char*[])
{
    return argc > 1;
}

int run(int argc, char* argv[])
{
    attachConsole();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(ProgramIdentity::title());
    QCoreApplication::setApplicationVersion(ProgramIdentity::versionText());

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Scans the game's logs, writes the ranking page and uploads it, without a "
                       "window. Steps run in the order scan, generate, upload."));
    const QCommandLineOption scan(QStringLiteral("scan"), QStringLiteral("Scan the logs."));
    const QCommandLineOption generate(
        QStringLiteral("generate"), QStringLiteral("Scan, then write the ranking page."));
    const QCommandLineOption uploadPage(QStringLiteral("upload"),
                                        QStringLiteral("Upload the ranking page."));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("The installation to work on (default: the "
                                                "folder that holds the program)."),
                                 QStringLiteral("folder"));
    parser.addOptions({scan, generate, uploadPage, dir});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QString usage = QStringLiteral("Usage: tallyvane [--dir FOLDER] [--scan] [--generate] "
                                         "[--upload] | --help | --version");
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        say(parser.errorText().isEmpty() ? QStringLiteral("Unexpected argument.")
                                         : parser.errorText());
        say(usage);
        return BadUsage;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return Succeeded;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(ProgramIdentity::title()),
                    qPrintable(ProgramIdentity::versionText()));
        return Succeeded;
    }
    const bool doScan = parser.isSet(scan) || parser.isSet(generate);
    if (!doScan && !parser.isSet(uploadPage)) {
        say(QStringLiteral("Nothing to do."));
        say(usage);
        return BadUsage;
    }

    const ProgramFiles files = parser.isSet(dir)
                                   ? ProgramFiles(QDir(parser.value(dir)).absolutePath())
                                   : ProgramFiles::ofRunningProgram();
    // Never alongside the window or another run: both would import the same logs.
    SingleInstance instance(files);
    switch (instance.acquire()) {
    case SingleInstance::Outcome::HeldByAnother:
        say(QStringLiteral("Tallyvane is already running from %1.")
                .arg(QDir::toNativeSeparators(files.directory())));
        return InUse;
    case SingleInstance::Outcome::FolderNotWritable:
        say(instance.folderNotWritable());
        return StepFailed;
    case SingleInstance::Outcome::Acquired:
        break;
    }

    std::unique_ptr<Config> config;
    try {
        config = std::make_unique<Config>(files.configuration(), Config::Saving::Never);
    } catch (const Failure& failure) {
        say(QStringLiteral("The configuration file %1 could not be loaded.\nError %2: %3.")
                .arg(QDir::toNativeSeparators(files.configuration()))
                .arg(failure.code())
                .arg(failure.description()));
        return StepFailed;
    }
    if (config->roguePath.isEmpty()) {
        say(QStringLiteral("Tallyvane is not configured yet: start it with its window once and "
                           "apply a configuration."));
        return NotConfigured;
    }

    ConsoleUserInterface ui;
    bool ok = true;
    if (doScan) {
        ScanDriver scanner(*config, files, ui);
        scanner.scanStatFiles();
        ok = succeeded(ui, QStringLiteral("Status scan successful at "), "scan");
    }
    if (parser.isSet(generate)) {
        GenerateHtml::writeRankingPage(*config, files, ui);
        ok = succeeded(ui, QStringLiteral("HTML generation successful."), "page generation") && ok;
    }
    if (parser.isSet(uploadPage))
        ok = upload(*config, files, ui) && ok;
    return ok ? Succeeded : StepFailed;
}

} // namespace CommandLine
