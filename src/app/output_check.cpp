#include "app/output_check.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>

namespace {

// Standard output written to its descriptor at every flush, remembering why
// the first write failed: the reason a stream's state cannot give.
class DescriptorOutput : public std::streambuf {
public:
    int error() const { return error_; }
    void forgetError() { error_ = 0; }

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            pending_ += traits_type::to_char_type(c);
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        pending_.append(text, static_cast<std::size_t>(count));
        return count;
    }

    int sync() override
    {
        std::size_t done = 0;
        while (done < pending_.size()) {
            const ssize_t written = write(STDOUT_FILENO, pending_.data() + done, pending_.size() - done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                if (error_ == 0)
                    error_ = written < 0 ? errno : EIO;
                pending_.clear();
                return -1;
            }
            done += static_cast<std::size_t>(written);
        }
        pending_.clear();
        return 0;
    }

private:
    std::string pending_;
    int error_ = 0;
};

struct Check {
    const char* program = nullptr;
    std::string (*otherFailure)() = nullptr;
    DescriptorOutput* output = nullptr; // never destroyed: used at exit
    bool failed = false;                 // by failAtExit
};

Check check;

void checkAtExit()
{
    std::cout.flush();
    bool failed = check.failed;
    if (check.output->error() != 0) {
        std::cerr << check.program << ": cannot write standard output: " << std::strerror(check.output->error())
                  << std::endl;
        failed = true;
    }
    if (check.otherFailure != nullptr) {
        const std::string other = check.otherFailure();
        if (!other.empty()) {
            std::cerr << check.program << ": " << other << std::endl;
            failed = true;
        }
    }
    // Every other exit handler has run (this one was registered first), so
    // nothing is skipped; exit(3) may not be called again from here.
    if (failed)
        _exit(kStatusOutputFailed);
}

} // namespace

bool checkOutputAtExit(const char* program, std::string (*otherFailure)())
{
    // A standard descriptor the caller closed (2>&-) is taken by /dev/null,
    // opened for reading: no file or device the run opens gets its number and
    // the output meant for it, and writing to it still fails (EBADF).
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDONLY) != fd)
            return false;
    }
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR || std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR)
        return false;
    check.program = program;
    check.otherFailure = otherFailure;
    check.output = new DescriptorOutput;
    std::cout.rdbuf(check.output);
    if (std::atexit(checkAtExit) == 0)
        return true;
    errno = ENOMEM; // atexit(3) says no more
    return false;
}

int standardOutputError()
{
    return check.output != nullptr ? check.output->error() : 0;
}

void acceptClosedStandardOutput()
{
    if (check.output != nullptr && check.output->error() == EPIPE)
        check.output->forgetError();
}

void failAtExit()
{
    check.failed = true;
}
