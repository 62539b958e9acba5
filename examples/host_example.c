/* The smallest host: initialise for 320x240 frames stored top row first,
   then turn one frame to sepia. Build: cc host_example.c -lquexal */
#include <quexal/quexal.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
    const char* data = argc > 1 ? argv[1] : "/usr/local/share/quexal";
    static uint8_t frame[320 * 240 * 3]; /* packed B,G,R; no row padding */
    memset(frame, 128, sizeof frame);
    if (_QX_init(data, 320, -240, 0, 0) != 1) { /* negative height: top row first */
        fprintf(stderr, "init refused: is %s/QXdata there?\n", data);
        return 1;
    }
    int32_t rc = _QX_process_color(frame, QX_COLOR_SEPIA);
    printf("sepia: %d, first pixel %u %u %u\n", rc, frame[0], frame[1], frame[2]);
    return rc == QX_DONE ? 0 : 1;
}
