#pragma once

namespace draftwell {

// Why a LapCSVLogger operation failed.
enum class LoggerError {
    fileAlreadyExists,  // the file to be created exists already
    failedToCreateFile, // the empty file cannot be created
    failedToEncode,     // a line cannot be encoded as UTF-8
    writeFailed,        // the system refused a write (disk full, I/O error, ...)
    closeFailed,        // the system reported an error when closing
    fileRemoved,        // the open file lost its name (its folder was removed) before it was complete
};

} // namespace draftwell
