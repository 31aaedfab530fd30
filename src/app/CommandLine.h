#pragma once

// The program without its window, for a scheduler on a machine nobody sits at:
//   tallyvane [--dir FOLDER] [--scan] [--generate] [--upload]
//   tallyvane --help | --version
// It does what the window's commands do, through the same code, always in the order scan,
// generate, upload, on the installation beside the program or the one in FOLDER. The
// configuration is only read.
namespace CommandLine {

enum ExitStatus {
    Succeeded = 0,
    StepFailed = 1,
    InUse = 2,         // a running Tallyvane holds the installation
    NotConfigured = 3, // the installation has no game directory yet
    BadUsage = 4,      // an unknown option, or nothing to do
};

// True when the program was started with arguments, which ask for the command line.
bool requested(int argc, char* argv[]);

// Runs the steps asked for and answers the exit status.
int run(int argc, char* argv[]);

} // namespace CommandLine
