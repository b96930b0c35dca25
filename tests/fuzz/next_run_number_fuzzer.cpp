// Fills a folder with arbitrary file names and checks nextRunNumber against
// an independent reading of the names: one past the highest "Run_<n>.csv"
// or "Run_<n>_rider-<rider>.csv" (rider: one or more bytes) number (extension in any case, n an optional sign
// and ASCII digits within 64 bits), never below 1, and never wrapping past the largest number.
//
// Input: file names separated by '/' (the one byte a name cannot hold);
// NUL bytes, empty names, "." and ".." are skipped, long names cut to 255 bytes;
// names after the 64th are left out, as each costs a file made and removed
// and a larger folder reaches nothing that 64 names do not.
#include <QString>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/lap_csv_logger.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_environment.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxNames = 64;

fs::path folder;
QString folderName;
// The folder stays open and is reused: each input removes the files it made.
int folderFd = -1;

std::optional<std::int64_t> runNumberOf(std::string_view name) {
    constexpr std::string_view prefix = "Run_";
    if (name.size() < prefix.size() + 4 || name.substr(0, prefix.size()) != prefix) {
        return std::nullopt;
    }
    std::string extension(name.substr(name.size() - 4));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    if (extension != ".csv") {
        return std::nullopt;
    }
    std::string_view number = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    constexpr std::string_view rider = "_rider-";
    if (const auto at = number.find(rider);
        at != std::string_view::npos && number.size() > at + rider.size()) {
        number = number.substr(0, at);
    }
    bool negative = false;
    if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
        negative = number.front() == '-';
        number.remove_prefix(1);
    }
    if (number.empty()) {
        return std::nullopt;
    }
    // Accumulated negatively so that the most negative value fits too.
    std::int64_t value = 0;
    for (char c : number) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        if (value < (std::numeric_limits<std::int64_t>::min() + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<std::int64_t>::min()) {
            return std::nullopt;
        }
        value = -value;
    }
    return value;
}

void removeMade(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        // A name given twice was removed the first time.
        FUZZ_CHECK(::unlinkat(folderFd, name.c_str(), 0) == 0 || errno == ENOENT, "cannot remove \"%s\"",
                   name.c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const auto& environment = draftwell::fuzz::FuzzEnvironment::setUp();
    folder = fs::path(environment.root().toStdString()) / "runs";
    fs::create_directories(folder);
    folderName = QString::fromStdString(folder.string());
    folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    FUZZ_CHECK(folderFd >= 0, "cannot open \"%s\"", folder.c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> names;
    std::string current;
    for (std::size_t i = 0; i <= size && names.size() < kMaxNames; ++i) {
        if (i < size && data[i] != '/') {
            if (data[i] != '\0' && current.size() < 255) {
                current.push_back(static_cast<char>(data[i]));
            }
            continue;
        }
        if (!current.empty() && current != "." && current != "..") {
            names.push_back(current);
        }
        current.clear();
    }

    std::int64_t highest = 0;
    for (const std::string& name : names) {
        FUZZ_CHECK(::mknodat(folderFd, name.c_str(), S_IFREG | 0644, 0) == 0 || errno == EEXIST,
                   "cannot create \"%s\" in %s", name.c_str(), folder.c_str());
        const auto number = runNumberOf(name);
        // The largest number has no successor, so it cannot raise the next one.
        if (number && *number != std::numeric_limits<std::int64_t>::max() && *number > highest) {
            highest = *number;
        }
    }

    const auto next = draftwell::LapCSVLogger::nextRunNumber(folderName);
    FUZZ_CHECK(next.has_value(), "the folder could not be listed");
    FUZZ_CHECK(*next == highest + 1, "next run number %lld, expected %lld", static_cast<long long>(*next),
               static_cast<long long>(highest + 1));
    removeMade(names);
    return 0;
}
