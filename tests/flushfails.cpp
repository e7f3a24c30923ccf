// Preloaded into the real program by tests: a file system whose flush of a
// file fails, as a network share over its quota fails only there. Every
// fdatasync answers EIO. With TESSARY_TEST_NO_TMPFILE set, the file system
// also has no unnamed temporary files, as vfat, NFS, CIFS and FUSE have none.

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>

namespace {

using OpenFunction = int (*)(const char *, int, ...);

int openThrough(const char *symbol, const char *path, int flags, mode_t mode)
{
    if ((flags & O_TMPFILE) == O_TMPFILE && std::getenv("TESSARY_TEST_NO_TMPFILE")) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const auto real = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, symbol));
    return real(path, flags, mode);
}

mode_t modeOf(int flags, va_list arguments)
{
    const bool hasMode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    return hasMode ? mode_t(va_arg(arguments, int)) : 0;
}

} // namespace

extern "C" {

int fdatasync(int)
{
    errno = EIO;
    return -1;
}

int open(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    return openThrough("open", path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    return openThrough("open64", path, flags, mode);
}

} // extern "C"
