/* The least work that reads every file of a tree: walk, open, read the first 64 KiB, close,
   with THREADS reads in flight (1 by default). lodrix-playlist's speed is measured against
   it. Usage: floor DIR [THREADS] */
#define _XOPEN_SOURCE 700
#include <fcntl.h>
#include <ftw.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char **paths;
static long count, room, next_path, files;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static int collect(const char *path, const struct stat *status, int type, struct FTW *where) {
    (void)status;
    if (type != FTW_F || path[where->base] == '.')
        return 0;
    if (count == room && !(paths = realloc(paths, (room = room * 2 + 1024) * sizeof *paths)))
        return 1;
    return !(paths[count++] = strdup(path));
}

static void *read_files(void *unused) {
    static __thread char buffer[64 * 1024];
    (void)unused;
    for (;;) {
        pthread_mutex_lock(&lock);
        long i = next_path++;
        pthread_mutex_unlock(&lock);
        if (i >= count)
            return NULL;
        int fd = open(paths[i], O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (read(fd, buffer, sizeof buffer) >= 0) {
            pthread_mutex_lock(&lock);
            ++files;
            pthread_mutex_unlock(&lock);
        }
        close(fd);
    }
}

int main(int argc, char **argv) {
    int threads = argc == 3 ? atoi(argv[2]) : 1;
    if (argc < 2 || argc > 3 || threads < 1 || threads > 256 || nftw(argv[1], collect, 64, FTW_PHYS) != 0)
        return 1;
    pthread_t started[256];
    for (int i = 0; i < threads; ++i)
        pthread_create(&started[i], NULL, read_files, NULL);
    for (int i = 0; i < threads; ++i)
        pthread_join(started[i], NULL);
    printf("%ld\n", files);
    return 0;
}
