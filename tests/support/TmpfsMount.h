#pragma once
// A small tmpfs over a folder for the life of the object (read-only with MS_RDONLY, or filled
// to the last byte with Fill()); mounted() is false where the test may not mount one.

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

class TmpfsMount {
public:
    TmpfsMount(const std::filesystem::path& where, const char* options, unsigned long flags = 0)
        : m_where(where) {
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", flags, options) == 0;
        if (!m_mounted)
            m_why = std::strerror(errno);
    }
    ~TmpfsMount() {
        if (m_mounted)
            ::umount2(m_where.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& why() const { return m_why; }

    // Fills the file system with the file "filler" until no byte more fits.
    void Fill() const {
        const int fd = ::open((m_where / "filler").c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'x');
        while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }

private:
    std::filesystem::path m_where;
    bool m_mounted = false;
    std::string m_why;
};
