// A temporary folder for one test, removed with everything in it afterwards.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

    // Whole-file helpers.
    static void Write(const std::string& path, const std::string& bytes);
    static std::string Read(const std::string& path);

private:
    std::string m_path;
};
