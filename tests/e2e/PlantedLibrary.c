/* What another user plants in the hardware library's place: as soon as it is loaded,
 * before any entry point is looked up, it leaves a marker in the current folder. */

#include <fcntl.h>
#include <unistd.h>

__attribute__((constructor)) static void leaveMarker(void) {
    const int fd = open("planted-code-ran", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        close(fd);
    }
}
