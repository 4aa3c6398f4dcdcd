// A fresh directory for one test, removed with everything in it afterwards.
#ifndef KIVO_TESTS_CLI_TEMP_DIR_H
#define KIVO_TESTS_CLI_TEMP_DIR_H

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kivo-cli-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string path() const { return path_.string(); }
    std::string file(const std::string &name) const { return (path_ / name).string(); }

    void write(const std::string &name, const std::string &text) const {
        std::ofstream(file(name), std::ios::binary) << text;
    }
    std::string read(const std::string &name) const {
        std::ifstream in(file(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Names of the entries, sorted.
    std::vector<std::string> entries(const std::string &sub = "") const {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(path_ / sub))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

#endif
