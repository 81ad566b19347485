// The OS layer for Linux and other POSIX hosts. Paths travel as UTF-16 and meet the OS as UTF-8;
// the ANSI code page is Windows-1252; INI files are parsed by the Windows-compatible reader.
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "platform/codepage.h"
#include "platform/platform.h"
#include "platform/posix/fd.h"
#include "platform/profile.h"

namespace velkaron::platform {

static std::string ToNativePath(const std::u16string& path) { return EncodeUtf8(path); }

std::u16string OwnModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::string path = info.dli_fname;
    if (!path.empty() && path[0] != '/') {
        // The loader keeps the name it was given; make it absolute against today's folder.
        std::string cwd(4096, '\0');
        if (getcwd(cwd.data(), cwd.size()) != nullptr) {
            cwd.resize(cwd.find('\0'));
            path = cwd + "/" + path;
        }
    }
    return DecodeUtf8(path);
}

bool FileExists(const std::u16string& path) {
    struct stat st {};
    return stat(ToNativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool CopyFileNoOverwrite(const std::u16string& source, const std::u16string& target) {
    const std::string from = ToNativePath(source), to = ToNativePath(target);
    Fd in(open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in.valid() || fstat(in.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    Fd out(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
    if (!out.valid()) return false;
    bool ok = true;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(in.get(), buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (!WriteAll(out.get(), buffer, static_cast<std::size_t>(got))) {
            ok = false;
            break;
        }
    }
    if (!out.close()) ok = false;
    if (!ok) unlink(to.c_str());
    return ok;
}

struct Profile {
    ProfileData data;
};

void ProfileDeleter::operator()(Profile* profile) const noexcept { delete profile; }

ProfileHandle OpenProfile(const std::u16string& path) {
    ProfileHandle profile(new Profile);
    std::string bytes;
    if (ReadWholeFile(ToNativePath(path), bytes)) profile->data = ParseProfile(bytes);
    return profile;
}

std::u16string ReadProfileString(const Profile& profile, const std::u16string& section,
                                 const std::u16string& key, const std::u16string& fallback,
                                 std::size_t bufferUnits) {
    return LookupProfile(profile.data, section, key, fallback, bufferUnits);
}

void ShowErrorBox(const std::u16string& text, const std::u16string& caption) {
    const std::string line = EncodeUtf8(caption) + ": " + EncodeUtf8(text) + "\n";
    WriteAll(STDERR_FILENO, line.data(), line.size());
}

static_assert(sizeof(pthread_mutex_t) <= sizeof(CriticalSection::storage));
static_assert(alignof(pthread_mutex_t) <= alignof(CriticalSection));

static pthread_mutex_t* AsMutex(CriticalSection& section) {
    return reinterpret_cast<pthread_mutex_t*>(section.storage);
}

void InitCriticalSection(CriticalSection& section) noexcept {
    // Like a Windows critical section, the owning thread may enter again.
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (section.storage) pthread_mutex_t, &attr);
    pthread_mutexattr_destroy(&attr);
}
void EnterCriticalSection(CriticalSection& section) noexcept { pthread_mutex_lock(AsMutex(section)); }
void LeaveCriticalSection(CriticalSection& section) noexcept { pthread_mutex_unlock(AsMutex(section)); }
void DeleteCriticalSection(CriticalSection& section) noexcept { pthread_mutex_destroy(AsMutex(section)); }

std::string ToAnsi(const std::u16string& text) { return EncodeWindows1252(text); }

}  // namespace velkaron::platform
