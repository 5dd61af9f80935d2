// The disk log's files as readers that are not ours see them: libtiff's
// tiffinfo and tiffdump, and Python's tifffile (read_tiff.py) under the
// system's interpreter. A reader that is missing fails the test, saying
// what to install.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace korvid::testing {

struct Command {
    int status = -1;
    std::string output;  // standard output and error
};

inline Command run(const std::string& command) {
    Command result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string quoted(const std::string& text) { return "'" + text + "'"; }

// An empty folder of its own for each call.
inline std::string scratchFolder() {
    static int count = 0;
    const std::string folder =
        ::testing::TempDir() + "korvid-tiff-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    run("rm -rf " + quoted(folder));
    EXPECT_EQ(mkdir(folder.c_str(), 0755), 0) << folder;
    return folder;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool toolPresent(const std::string& tool) { return run("command -v " + tool).status == 0; }

inline bool mentionsTrouble(const std::string& output) {
    std::string lower = output;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("warning") != std::string::npos || lower.find("error") != std::string::npos ||
           lower.find("cannot") != std::string::npos;
}

// tiffinfo -D (which decodes every strip) and tiffdump accept the file
// without a word of complaint, and find `pages` directories.
inline void expectLibtiffAccepts(const std::string& path, std::size_t pages) {
    for (const char* tool : {"tiffinfo", "tiffdump"})
        ASSERT_TRUE(toolPresent(tool)) << tool << " not found: install libtiff-tools (tools/install-deps.sh test)";
    const Command info = run("tiffinfo -D " + quoted(path));
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_FALSE(mentionsTrouble(info.output)) << info.output;
    std::size_t directories = 0;
    for (std::size_t at = 0; (at = info.output.find("TIFF Directory at offset", at)) != std::string::npos; ++at)
        ++directories;
    EXPECT_EQ(directories, pages) << info.output.substr(0, 2000);
    const Command dump = run("tiffdump " + quoted(path));
    EXPECT_EQ(dump.status, 0) << dump.output;
    EXPECT_FALSE(mentionsTrouble(dump.output)) << dump.output;
    EXPECT_NE(dump.output.find("<BigTIFF>"), std::string::npos) << dump.output.substr(0, 500);
}

struct ReadPage {
    int width = 0, height = 0, samples = 0, compression = 0;
    double time = 0;
    double absTime[6] = {};
    std::uint64_t frameNumber = 0, relativeFrame = 0, triggerIndex = 0;
    std::string provenance;  // sorted JSON as Python writes it, or "-"
};

struct TifffileRead {
    bool bigtiff = false;
    std::vector<ReadPage> pages;
    std::string pixels;  // every page's, as tifffile gives them
    std::vector<std::string> warnings;
};

// Debian's interpreter, where python3-tifffile is installed (not whatever
// python3 comes first on the PATH).
constexpr const char* kSystemPython = "/usr/bin/python3";

inline TifffileRead readWithTifffile(const std::string& path) {
    TifffileRead read;
    const Command probe = run(std::string(kSystemPython) + " -c 'import tifffile'");
    if (probe.status != 0) {
        ADD_FAILURE() << kSystemPython << " cannot import tifffile: install python3-tifffile "
                      << "(tools/install-deps.sh test)\n"
                      << probe.output;
        return read;
    }
    const std::string pixels = path + ".pixels";
    const Command command = run(std::string(kSystemPython) + " " + quoted(KORCAM_READ_TIFF_SCRIPT) + " " +
                                quoted(path) + " " + quoted(pixels));
    EXPECT_EQ(command.status, 0) << command.output;
    std::istringstream lines(command.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "bigtiff") {
            int flag = 0;
            words >> flag;
            read.bigtiff = flag == 1;
        } else if (kind == "warning") {
            read.warnings.push_back(line);
        } else if (kind == "page") {
            ReadPage page;
            std::string number;
            words >> page.width >> page.height >> page.samples >> page.compression >> number;
            page.time = std::strtod(number.c_str(), nullptr);
            for (double& value : page.absTime) {
                words >> number;
                value = std::strtod(number.c_str(), nullptr);
            }
            words >> page.frameNumber >> page.relativeFrame >> page.triggerIndex >> std::ws;
            std::getline(words, page.provenance);
            read.pages.push_back(page);
        } else {
            ADD_FAILURE() << "read_tiff.py said: " << line;
        }
    }
    read.pixels = readFile(pixels);
    std::remove(pixels.c_str());
    return read;
}

}  // namespace korvid::testing
