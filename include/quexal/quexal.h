/*
 * Quexal: real-time effects for live camera video.
 *
 * A host calls QX_init once for a frame size, then per frame one of the
 * QX_process_* functions, which rewrite a packed 24-bit frame in place
 * (bytes blue, green, red; width * 3 bytes a row, no padding) and answer a
 * status code. 1 always means "done"; 0 or a negative value is a refusal,
 * and a refused call leaves the frame byte-identical.
 *
 * Every _QX_ export has a session twin qx_NAME(QxSession *, same arguments)
 * with the same result codes. A session is one stream: it owns its frame
 * size, its mask picture, its background and the state of every effect, so
 * sessions never see each other's state. The _QX_ exports work on one
 * default session that lives from library load to unload.
 *
 * Threads: different sessions may be used at the same time from different
 * threads; one session (the default one included) must be used by one
 * thread at a time. The library keeps no pointer to anything the host
 * passes.
 */
#ifndef QUEXAL_QUEXAL_H
#define QUEXAL_QUEXAL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define QX_API __stdcall
#else
#define QX_API
#endif

#if defined(_WIN32)
#define QX_EXPORT __declspec(dllexport)
#else
#define QX_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes, named. */
enum {
    QX_DONE = 1,

    QX_INIT_REFUSED = 0,

    QX_MASK_NOT_READY = 0,

    QX_LENS_NOT_READY = -2,
    QX_LENS_BAD_MODE = -1,

    QX_COLOR_BAD_MODE = -1,
    QX_COLOR_NOT_READY = -2,

    QX_FIRE_NOT_READY = -2,

    QX_BKG_NO_REFERENCE = -2,
    QX_BKG_NO_SOURCE = -1,
    QX_BKG_LITTLE_BACKGROUND = 0,

    QX_SET_BKG_REFUSED = 0,
    QX_SNAPSHOT_REFUSED = 0,

    QX_MASK_IMAGE_NOT_READY = -3,
    QX_MASK_IMAGE_BAD = -2,
    QX_MASK_IMAGE_NO_MEMORY = -1,

    QX_TEST_MASK_BAD_MAGIC = -1,
    QX_TEST_MASK_BAD_KIND = -2,
    QX_TEST_MASK_BAD_SIZE = -3
};

/* Value the magic argument of the mask-picture calls must have. */
#define QX_MASK_MAGIC 100

/* Background source types for QX_set_bkg. */
#define QX_BKG_VIDEO 1
#define QX_BKG_PICTURE 2

/* Lens modes for QX_process_lens; 3..7 are radial distortions named after
 * what they do to the middle of the picture. */
#define QX_LENS_SWIRL 1
#define QX_LENS_MIRROR 2
#define QX_LENS_FUNNEL 3  /* the middle drawn inwards, sharply */
#define QX_LENS_BULGE 4   /* the middle swells, as through a fisheye */
#define QX_LENS_MAGNIFY 5 /* the middle swells strongly, as under a magnifier */
#define QX_LENS_STRETCH 6 /* the middle stretched along each axis into a square block */
#define QX_LENS_PINCH 7   /* the middle drawn inwards, gently */

/* Eye band modes for QX_process_mask (other values draw the picture). */
#define QX_MASK_PIXELATE_EYES 1
#define QX_MASK_BLUR_EYES 2
#define QX_MASK_DRAW_PICTURE 0

/* Colour modes for QX_process_color. */
#define QX_COLOR_NEGATIVE 16
#define QX_COLOR_GREY 17
#define QX_COLOR_GLOW 18
#define QX_COLOR_SOFT_GREY 24
#define QX_COLOR_SEPIA 25

/*
 * path: folder holding the "QXdata" folder with the two cascade files.
 * width > 0; height != 0, positive when the host's rows run bottom to top,
 * negative when they run top to bottom. Returns 1, or 0 when refused.
 */
QX_EXPORT int32_t QX_API _QX_init(const char* path, int32_t width, int32_t height, int32_t unused1,
                                  int32_t unused2);

/*
 * mode 1 pixelates the eye band, 2 blurs it, anything else draws the
 * registered mask picture. Returns 1, or 0 while no mask picture is
 * registered (or for a null frame).
 */
QX_EXPORT int32_t QX_API _QX_process_mask(uint8_t* frame, int32_t mode, int32_t unused);

/*
 * mode 1 swirl, 2 mirror, 3..7 radial distortions. Returns 1; -1 for a mode
 * outside 1..7; -2 before initialisation (or for a null frame).
 */
QX_EXPORT int32_t QX_API _QX_process_lens(uint8_t* frame, int32_t mode);

/*
 * mode 16 negative, 17 grey, 18 glow, 24 soft grey over the picture,
 * 25 sepia. Returns 1; -1 for any other mode; -2 before initialisation
 * (or for a null frame).
 */
QX_EXPORT int32_t QX_API _QX_process_color(uint8_t* frame, int32_t mode);

/* Draws flames. Returns 1; -2 before initialisation (or for a null frame). */
QX_EXPORT int32_t QX_API _QX_process_fire(uint8_t* frame);

/*
 * Replaces the background. halo nonzero draws a halo of haloColor (blue in
 * bits 16-23, green 8-15, red 0-7) round the person; cutLine is a barrier
 * line in percent of the height (0 for none). Returns 1; 0 when the
 * composite was written but less than 15 % of the frame was background;
 * -1 while no source is set or the video gives no frame; -2 while no
 * reference snapshot exists (or for a null frame).
 */
QX_EXPORT int32_t QX_API _QX_process_bkg(uint8_t* frame, int32_t halo, int32_t haloColor,
                                         int32_t cutLine, int32_t unused);

/*
 * type 1: source is the path of a video file (an empty or null path stops
 * the video and keeps its last frame); type 2: source is a packed 24-bit
 * picture of width x height. Returns 1 when set, 0 when refused.
 */
QX_EXPORT int32_t QX_API _QX_set_bkg(const void* source, int32_t type, int32_t width,
                                     int32_t height, int32_t unused);

/*
 * Takes frame (of the initialised size) as the empty scene. Returns 1, or 0
 * when the size differs, before initialisation or for a null frame.
 */
QX_EXPORT int32_t QX_API _QX_get_bkg_snapshot(const uint8_t* frame, int32_t width, int32_t height,
                                              int32_t unused);

/*
 * Registers a 4-byte-a-pixel picture (blue, green, red, alpha): 200x190 for
 * kinds 1, 2 and 8, 100x90 for kinds 3 and 4; magic must be 100. Returns 1;
 * -3 before initialisation; -2 for a bad magic, kind, size or null pixels;
 * -1 when the copy could not be stored.
 */
QX_EXPORT int32_t QX_API _QX_set_mask_image(const uint8_t* pixels, int32_t width, int32_t height,
                                            int32_t kind, int32_t magic, int32_t unused1,
                                            int32_t unused2);

/*
 * Tells, changing nothing, whether _QX_set_mask_image would accept a
 * picture. Returns 1; -1 for a bad magic; -2 for an unknown kind; -3 for a
 * size that does not fit the kind.
 */
QX_EXPORT int32_t QX_API _QX_test_mask_image(int32_t width, int32_t height, int32_t kind,
                                             int32_t magic, int32_t unused1, int32_t unused2);

/* Always 0. */
QX_EXPORT int32_t QX_API _QX_check_dinamic_bkg(int32_t unused);

/*
 * Sessions. qx_session_create answers a new session, null only when memory
 * is short; qx_session_destroy stops a playing background video, joins its
 * thread and frees the session (null does nothing). A null session answers
 * every call as a fresh session answers before its first init (qx_init
 * answers 0) and changes nothing.
 */
typedef struct QxSession QxSession;

QX_EXPORT QxSession* QX_API qx_session_create(void);
QX_EXPORT void QX_API qx_session_destroy(QxSession* session);

QX_EXPORT int32_t QX_API qx_init(QxSession* session, const char* path, int32_t width,
                                 int32_t height, int32_t unused1, int32_t unused2);
QX_EXPORT int32_t QX_API qx_process_mask(QxSession* session, uint8_t* frame, int32_t mode,
                                         int32_t unused);
QX_EXPORT int32_t QX_API qx_process_lens(QxSession* session, uint8_t* frame, int32_t mode);
QX_EXPORT int32_t QX_API qx_process_color(QxSession* session, uint8_t* frame, int32_t mode);
QX_EXPORT int32_t QX_API qx_process_fire(QxSession* session, uint8_t* frame);
QX_EXPORT int32_t QX_API qx_process_bkg(QxSession* session, uint8_t* frame, int32_t halo,
                                        int32_t haloColor, int32_t cutLine, int32_t unused);
QX_EXPORT int32_t QX_API qx_set_bkg(QxSession* session, const void* source, int32_t type,
                                    int32_t width, int32_t height, int32_t unused);
QX_EXPORT int32_t QX_API qx_get_bkg_snapshot(QxSession* session, const uint8_t* frame,
                                             int32_t width, int32_t height, int32_t unused);
QX_EXPORT int32_t QX_API qx_set_mask_image(QxSession* session, const uint8_t* pixels, int32_t width,
                                           int32_t height, int32_t kind, int32_t magic,
                                           int32_t unused1, int32_t unused2);
QX_EXPORT int32_t QX_API qx_test_mask_image(QxSession* session, int32_t width, int32_t height,
                                            int32_t kind, int32_t magic, int32_t unused1,
                                            int32_t unused2);
QX_EXPORT int32_t QX_API qx_check_dinamic_bkg(QxSession* session, int32_t unused);

/*
 * Session options, all off (or at the documented default) in a fresh
 * session and in the default one. Returns 1 when set; -1 for an unknown
 * name (or a null name); -3 for a value out of range. A null session
 * checks the name and value and changes nothing.
 */
enum { QX_OPTION_SET = 1, QX_OPTION_UNKNOWN = -1, QX_OPTION_OUT_OF_RANGE = -3 };
QX_EXPORT int32_t QX_API qx_set_option(QxSession* session, const char* name, int32_t value);

/*
 * The options:
 *   "exposure_compensation" 0/1, default 0: the background effect follows
 *       the camera's own exposure changes since the snapshot.
 *   "min_face_permille" 10..1000, default QX_MIN_FACE_DEFAULT: the smallest
 *       face width looked for, in thousandths of the frame width.
 *   "async_detect" 0/1, default 0: the face is looked for on a thread of
 *       the session's own, so that no frame waits for a detection.
 */
#define QX_MIN_FACE_DEFAULT 217

#ifdef __cplusplus
}
#endif

#endif /* QUEXAL_QUEXAL_H */
