/* The least work that reads every file of a tree: walk, open, read the first 64 KiB, close,
   with THREADS reads in flight (1 by default). lodrix-playlist's speed is measured against
   it. Usage: floor DIR [THREADS] */
#define _DEFAULT_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static char **paths;
static long count, room, next_path, files;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

// The walk takes each entry's type from the listing, as lodrix-playlist does: no stat.
static int collect(const char *folder) {
    DIR *listing = opendir(folder);
    if (listing == NULL)
        return 0;
    for (struct dirent *entry; (entry = readdir(listing)) != NULL;) {
        if (entry->d_name[0] == '.')
            continue;
        char *path = malloc(strlen(folder) + strlen(entry->d_name) + 2);
        if (path == NULL)
            return 1;
        sprintf(path, "%s/%s", folder, entry->d_name);
        if (entry->d_type == DT_DIR) {
            int failed = collect(path);
            free(path);
            if (failed)
                return 1;
        } else if (entry->d_type == DT_REG) {
            if (count == room && !(paths = realloc(paths, (room = room * 2 + 1024) * sizeof *paths)))
                return 1;
            paths[count++] = path;
        } else {
            free(path);
        }
    }
    closedir(listing);
    return 0;
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
    if (argc < 2 || argc > 3 || threads < 1 || threads > 256 || collect(argv[1]) != 0)
        return 1;
    pthread_t started[256];
    for (int i = 0; i < threads; ++i)
        pthread_create(&started[i], NULL, read_files, NULL);
    for (int i = 0; i < threads; ++i)
        pthread_join(started[i], NULL);
    printf("%ld\n", files);
    return 0;
}
