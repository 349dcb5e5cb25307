// Device folder paths, the one-file record store, the folder lock, atomic
// file replacement and the append-only logs.
#include "dk_store.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

static char g_root[DK_PATH_SIZE];
static int g_root_state;  // 0 not looked up, 1 found, -1 none

static bool has_dotdot(const char *path)
{
    for (const char *s = path; (s = strstr(s, "..")) != nullptr; s += 2)
        if ((s == path || s[-1] == '/') && (s[2] == '/' || s[2] == '\0'))
            return true;
    return false;
}

const char *dk_env_root(void)
{
    if (g_root_state == 0) {
        g_root_state = -1;
        const char *env = getenv("DEVKIT_ROOT");
        char resolved[PATH_MAX];
        struct stat st;
        // An absolute path without ".." components is usable as it stands
        // (paths are built by components); others go through realpath.
        if (env && env[0] == '/' && !has_dotdot(env) && strlen(env) < sizeof resolved)
            memcpy(resolved, env, strlen(env) + 1);
        else if (!env || !env[0] || !realpath(env, resolved))
            return nullptr;
        if (stat(resolved, &st) == 0 && S_ISDIR(st.st_mode) && strlen(resolved) < sizeof g_root) {
            memcpy(g_root, resolved, strlen(resolved) + 1);
            g_root_state = 1;
        }
    }
    return g_root_state == 1 ? g_root : nullptr;
}

// Appends the components of part to out (length *n), one slash before each.
static int add_components(char *out, size_t size, size_t *n, const char *part)
{
    const char *s = part;
    while (*s) {
        while (*s == '/')
            ++s;
        if (!*s)
            break;
        const char *end = strchr(s, '/');
        size_t len = end ? static_cast<size_t>(end - s) : strlen(s);
        if (len == 2 && s[0] == '.' && s[1] == '.')
            return -1;
        if (!(len == 1 && s[0] == '.')) {
            if (*n + 1 + len >= size)
                return -1;
            out[(*n)++] = '/';
            memcpy(out + *n, s, len);
            *n += len;
            out[*n] = '\0';
        }
        s += len;
    }
    return 0;
}

int dk_path(char *out, size_t size, const char *root, const char *sub, const char *rel)
{
    // The root is an absolute folder without ".." components, never climbed.
    if (!out || size == 0 || !root || root[0] != '/' || !rel)
        return -1;
    out[0] = '\0';
    size_t n = 0;
    if (add_components(out, size, &n, root) != 0)
        return -1;
    size_t base = n;
    if ((sub && add_components(out, size, &n, sub) != 0) || add_components(out, size, &n, rel) != 0)
        return -1;
    if (n == base)
        return -1;
    return 0;
}

int dk_read_file(const char *path, size_t max, char **text, size_t *len)
{
    *text = nullptr;
    *len = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            return -1;
        *text = static_cast<char *>(calloc(1, 1));
        return *text ? 1 : -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) > max) {
        close(fd);
        return -1;
    }
    size_t want = static_cast<size_t>(st.st_size);
    char *buf = static_cast<char *>(malloc(want + 1));
    if (!buf) {
        close(fd);
        return -1;
    }
    size_t got = 0;
    while (got < want) {
        ssize_t r = read(fd, buf + got, want - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    close(fd);
    buf[got] = '\0';
    *text = buf;
    *len = got;
    return 0;
}

void dk_image_header(DeviceImage *img)
{
    memset(img, 0, sizeof *img);
    memcpy(img->magic, DK_MAGIC, sizeof img->magic);
    img->version = DK_VERSION;
    img->size = sizeof(DeviceImage);
}

int dk_read_image(const char *root, DeviceImage *img)
{
    char path[DK_PATH_SIZE];
    if (!root || dk_path(path, sizeof path, root, nullptr, DK_DEVICE_FILE) != 0)
        return -1;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    // One read of the whole image; the file is replaced by rename, so it
    // is never seen half written.
    ssize_t r;
    do {
        r = read(fd, img, sizeof *img);
    } while (r < 0 && errno == EINTR);
    close(fd);
    if (r != static_cast<ssize_t>(sizeof *img) || memcmp(img->magic, DK_MAGIC, sizeof img->magic) != 0 ||
        img->version != DK_VERSION || img->size != sizeof *img)
        return -1;
    return 0;
}

int dk_lock(const char *root)
{
    char path[DK_PATH_SIZE];
    if (!root || dk_path(path, sizeof path, root, nullptr, DK_LOCK_FILE) != 0)
        return -1;
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    int rc;
    do {
        rc = flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void dk_unlock(int fd)
{
    if (fd >= 0) {
        flock(fd, LOCK_UN);
        close(fd);
    }
}

static int write_all(int fd, const void *data, size_t len)
{
    const char *p = static_cast<const char *>(data);
    while (len > 0) {
        ssize_t w = write(fd, p, len);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return -1;
        p += w;
        len -= static_cast<size_t>(w);
    }
    return 0;
}

int dk_replace_file(const char *path, const void *data, size_t len, unsigned mode)
{
    char tmp[DK_PATH_SIZE];
    int n = snprintf(tmp, sizeof tmp, "%s.tmp", path);
    if (n < 0 || static_cast<size_t>(n) >= sizeof tmp)
        return -1;
    int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0)
        return -1;
    // On the disk before the new name is: after a crash the file is the old
    // one or the new one, never a part of either.
    int rc = write_all(fd, data, len) == 0 && fsync(fd) == 0 ? 0 : -1;
    if (close(fd) != 0)
        rc = -1;
    if (rc == 0 && rename(tmp, path) != 0)
        rc = -1;
    if (rc != 0)
        unlink(tmp);
    return rc;
}

int dk_write_image(const char *root, const DeviceImage *img)
{
    char path[DK_PATH_SIZE];
    if (!root || dk_path(path, sizeof path, root, nullptr, DK_DEVICE_FILE) != 0)
        return -1;
    return dk_replace_file(path, img, sizeof *img, 0644);
}

int dk_append_line(const char *root, const char *log, const char *line)
{
    char path[DK_PATH_SIZE];
    char buf[512];
    if (!root || !line || dk_path(path, sizeof path, root, nullptr, log) != 0)
        return -1;
    int n = snprintf(buf, sizeof buf, "%s\n", line);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buf)
        return -1;
    char *slash = strrchr(path, '/');
    if (slash && slash != path) {
        *slash = '\0';
        mkdir(path, 0755);  // the log folder may not exist yet
        *slash = '/';
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    ssize_t w = write(fd, buf, static_cast<size_t>(n));
    close(fd);
    return w == n ? 0 : -1;
}
