#pragma once

// Exit status of norda-cli.
enum ExitCode : int {
    ExitOk = 0,
    ExitUsage = 1, // bad command line
    ExitCannotOpen = 2, // a file or device cannot be opened
    ExitUnusable = 3, // a file's content is unusable
    ExitFailed = 4, // the device refused or the operation failed
    ExitFindings = 5, // project lint found an error
    ExitRefused = 6, // the user's access level does not allow it, or the log-in failed
};
