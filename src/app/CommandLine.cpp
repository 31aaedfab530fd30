#include "CommandLine.h"

#include "app/ConsoleText.h"
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
#include <QFileInfo>

#include <csignal>
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
    ConsoleText::writeLine(stderr, text);
}

// A step succeeded when its last status is the success text and no message box was shown.
// The step's final status is its line on standard output.
bool succeeded(ConsoleUserInterface& ui, const QString& successPrefix, const char* step)
{
    ui.printStatus();
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
#ifndef _WIN32
    // A reader that goes (`tallyvane --scan | head -1`) must not end the run in the middle of a
    // log: writes to it fail instead, and the run ends after the step in hand.
    std::signal(SIGPIPE, SIG_IGN);
#endif
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
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        ConsoleText::writeLine(stdout, parser.helpText().trimmed());
        return Succeeded;
    }
    if (parser.isSet(version)) {
        ConsoleText::writeLine(stdout, ProgramIdentity::title() + u' ' + ProgramIdentity::versionText());
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
    // Nothing, not even the lock file, goes into a folder that is no installation.
    if (parser.isSet(dir) && !QFileInfo::exists(files.configuration())) {
        say(QStringLiteral("There is no Tallyvane installation in %1: it holds no %2.")
                .arg(QDir::toNativeSeparators(files.directory()),
                     QFileInfo(files.configuration()).fileName()));
        return StepFailed;
    }
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
    // A reader of the output that went away ends the run after the step in hand.
    const auto readerGone = [&ui] {
        if (ui.outputLost())
            say(QStringLiteral("Tallyvane: standard output was closed; the steps after this one "
                               "were not run."));
        return ui.outputLost();
    };
    if (doScan) {
        ScanDriver scanner(*config, files, ui);
        scanner.scanStatFiles();
        if (!scanner.missingFile().isEmpty())
            say(QStringLiteral("Tallyvane: the scan stopped at a missing file, %1.")
                    .arg(QDir::toNativeSeparators(scanner.missingFile())));
        ok = succeeded(ui, QStringLiteral("Status scan successful at "), "scan");
        if (readerGone())
            return StepFailed;
    }
    if (parser.isSet(generate)) {
        GenerateHtml::writeRankingPage(*config, files, ui);
        ok = succeeded(ui, QStringLiteral("HTML generation successful."), "page generation") && ok;
        if (readerGone())
            return StepFailed;
    }
    if (parser.isSet(uploadPage))
        ok = upload(*config, files, ui) && ok && !readerGone();
    return ok ? Succeeded : StepFailed;
}

} // namespace CommandLine
