#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the end.
// Tests point KESTROVAMAIL_HOME at one so that settings, logs and pictures stay inside it.

#include <filesystem>
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // The folder with a trailing "/", as ProgramFolder() returns it.
    std::string folder() const { return m_path.string() + "/"; }
    // Sets KESTROVAMAIL_HOME to this folder (restored when the object ends).
    void UseAsProgramFolder();

    static std::string ReadFile(const std::filesystem::path& file);
    static void WriteFile(const std::filesystem::path& file, const std::string& bytes);

private:
    std::filesystem::path m_path;
    bool m_setHome = false;
    std::string m_oldHome;
    bool m_hadHome = false;
};
