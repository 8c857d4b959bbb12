// Placeholder wrappers until the emulated kernel is built: pass everything through.
#include <fcntl.h>
#include <cstdarg>
#include <sys/ioctl.h>
#include <unistd.h>

extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_ioctl(int fd, unsigned long request, ...);
int __real_close(int fd);
unsigned __real_sleep(unsigned seconds);

int __wrap_open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int mode = va_arg(args, int);
    va_end(args);
    return __real_open(path, flags, mode);
}
int __wrap_ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* record = va_arg(args, void*);
    va_end(args);
    return __real_ioctl(fd, request, record);
}
int __wrap_close(int fd) { return __real_close(fd); }
unsigned __wrap_sleep(unsigned seconds) { return __real_sleep(seconds); }
}
