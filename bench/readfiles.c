/* The baseline of an import: the same reading without the work. Reads every
 * regular file named on the command line, and every regular file in each
 * directory named, into one buffer reused for all of them (grown only when a
 * file is larger than any before): open, fstat, read, close per file, as few
 * system calls as reading a file can take. Prints the number of files and
 * bytes read.
 *
 *   readfiles PATH...
 */

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static char *buffer;
static size_t capacity;
static long long files;
static long long bytes;

static int readFile(int folder, const char *name)
{
    const int fd = openat(folder, name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return S_ISDIR(info.st_mode) ? 1 : -1;
    }
    /* One byte more than the size, so that the end of the file shows in one read. */
    const size_t want = (size_t)info.st_size + 1;
    if (want > capacity) {
        free(buffer);
        buffer = malloc(want);
        capacity = buffer ? want : 0;
        if (!buffer) {
            close(fd);
            return -1;
        }
    }
    const ssize_t got = read(fd, buffer, want);
    close(fd);
    if (got < 0)
        return -1;
    ++files;
    bytes += got;
    return 0;
}

static int readFolder(const char *path)
{
    DIR *folder = opendir(path);
    if (!folder)
        return -1;
    const int fd = dirfd(folder);
    for (struct dirent *item = readdir(folder); item; item = readdir(folder)) {
        if (item->d_name[0] == '.')
            continue;
        if (readFile(fd, item->d_name) < 0) {
            closedir(folder);
            return -1;
        }
    }
    closedir(folder);
    return 0;
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const int read = readFile(AT_FDCWD, argv[i]);
        if (read < 0 || (read > 0 && readFolder(argv[i]) < 0)) {
            fprintf(stderr, "readfiles: cannot read %s\n", argv[i]);
            return 1;
        }
    }
    printf("%lld files, %lld bytes\n", files, bytes);
    free(buffer);
    return 0;
}
