#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp");
    m_path = pattern;
}

TempDir::~TempDir() {
    if (m_setHome) {
        if (m_hadHome)
            ::setenv("KESTROVAMAIL_HOME", m_oldHome.c_str(), 1);
        else
            ::unsetenv("KESTROVAMAIL_HOME");
    }
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

void TempDir::UseAsProgramFolder() {
    if (!m_setHome) {
        const char* old = std::getenv("KESTROVAMAIL_HOME");
        m_hadHome = old != nullptr;
        if (old)
            m_oldHome = old;
    }
    m_setHome = true;
    ::setenv("KESTROVAMAIL_HOME", m_path.c_str(), 1);
}

std::string TempDir::ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void TempDir::WriteFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}
