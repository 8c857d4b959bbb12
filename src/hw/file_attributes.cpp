#include "hw/file_attributes.h"

#include <cerrno>
#include <cstring>
#include <vector>

#if defined(__linux__)
#include <sys/xattr.h>
#elif defined(__FreeBSD__)
#include <sys/types.h>
#include <sys/acl.h>
#include <sys/extattr.h>
#include <unistd.h>
#endif

namespace {

// A file system without ACLs or extended attributes says so with one of
// these; the file then has none to lose.
bool unsupported(int error)
{
    return error == EOPNOTSUPP || error == ENOTSUP;
}

bool failed(std::string& why)
{
    why = std::strerror(errno);
    return false;
}

} // namespace

#if defined(__linux__)

namespace {

// The access ACL lives in an attribute of its own; the security.* and
// trusted.* attributes are the system's, and the new file gets its own.
bool carriedOver(const std::string& name)
{
    return name == "system.posix_acl_access" || name.compare(0, 5, "user.") == 0;
}

} // namespace

bool copyFileAttributes(const std::string& from, int to, std::string& why)
{
    const ssize_t listSize = listxattr(from.c_str(), nullptr, 0);
    if (listSize < 0)
        return unsupported(errno) || failed(why);
    std::vector<char> names(static_cast<std::size_t>(listSize) + 1, '\0');
    const ssize_t listed = listxattr(from.c_str(), names.data(), names.size() - 1);
    if (listed < 0)
        return failed(why);
    for (std::size_t at = 0; at < static_cast<std::size_t>(listed);) {
        const std::string name = names.data() + at;
        at += name.size() + 1;
        if (!carriedOver(name))
            continue;
        const ssize_t size = getxattr(from.c_str(), name.c_str(), nullptr, 0);
        if (size < 0 && errno == ENODATA) // removed meanwhile
            continue;
        if (size < 0)
            return failed(why);
        std::vector<char> value(static_cast<std::size_t>(size) + 1);
        const ssize_t got = getxattr(from.c_str(), name.c_str(), value.data(), value.size());
        if (got < 0)
            return failed(why);
        if (fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(got), 0) != 0 && !unsupported(errno))
            return failed(why);
    }
    return true;
}

#elif defined(__FreeBSD__)

bool copyFileAttributes(const std::string& from, int to, std::string& why)
{
    // The user namespace: a list of names, each after a byte of its length.
    const ssize_t listSize = extattr_list_file(from.c_str(), EXTATTR_NAMESPACE_USER, nullptr, 0);
    if (listSize < 0 && !unsupported(errno))
        return failed(why);
    if (listSize > 0) {
        std::vector<char> names(static_cast<std::size_t>(listSize));
        const ssize_t listed = extattr_list_file(from.c_str(), EXTATTR_NAMESPACE_USER, names.data(), names.size());
        if (listed < 0)
            return failed(why);
        for (std::size_t at = 0; at < static_cast<std::size_t>(listed);) {
            const auto length = static_cast<unsigned char>(names[at]);
            const std::string name(names.data() + at + 1, length);
            at += 1 + length;
            const ssize_t size = extattr_get_file(from.c_str(), EXTATTR_NAMESPACE_USER, name.c_str(), nullptr, 0);
            if (size < 0 && errno == ENOATTR)
                continue;
            if (size < 0)
                return failed(why);
            std::vector<char> value(static_cast<std::size_t>(size) + 1);
            const ssize_t got =
                extattr_get_file(from.c_str(), EXTATTR_NAMESPACE_USER, name.c_str(), value.data(), value.size());
            if (got < 0)
                return failed(why);
            if (extattr_set_fd(to, EXTATTR_NAMESPACE_USER, name.c_str(), value.data(), static_cast<std::size_t>(got))
                    < 0
                && !unsupported(errno))
                return failed(why);
        }
    }
    // The ACL: NFSv4 on ZFS, POSIX.1e on UFS.
    const acl_type_t type = pathconf(from.c_str(), _PC_ACL_NFS4) > 0 ? ACL_TYPE_NFS4 : ACL_TYPE_ACCESS;
    acl_t acl = acl_get_file(from.c_str(), type);
    if (acl == nullptr)
        return unsupported(errno) || errno == EINVAL || failed(why);
    const bool set = acl_set_fd_np(to, acl, type) == 0 || unsupported(errno) || errno == EINVAL;
    const int error = errno;
    acl_free(acl);
    errno = error;
    return set || failed(why);
}

#else

bool copyFileAttributes(const std::string& /*from*/, int /*to*/, std::string& /*why*/)
{
    return true; // no ACLs or extended attributes known here
}

#endif
