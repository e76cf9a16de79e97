/* Captures one Wayland output as the compositor holds it, pixel for pixel,
 * through wlr-screencopy-unstable-v1, and writes it as a binary PPM (P6) to
 * standard output. Unlike grim it never resamples: the picture has the
 * output's buffer size whatever the scale.
 *
 *   screencopy [--cursor] [OUTPUT-NAME]   (the first output without a name;
 *                                          --cursor draws the pointer in)
 *
 * The protocol's client code is generated with wayland-scanner at test
 * set-up from the XML in Debian's wlroots source package. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include "wlr-screencopy-unstable-v1-client-protocol.h"

struct output {
    struct wl_output *wl_output;
    char name[64];
    struct output *next;
};

static struct wl_shm *shm;
static struct zwlr_screencopy_manager_v1 *manager;
static struct output *outputs;

static struct {
    uint32_t format, width, height, stride;
    int have_shm_format;
    int done, failed, y_invert;
    struct wl_buffer *buffer;
    void *data;
} frame;

static void fail(const char *what) {
    fprintf(stderr, "screencopy: %s\n", what);
    exit(1);
}

static void output_geometry(void *d, struct wl_output *o, int32_t x, int32_t y, int32_t pw, int32_t ph,
                            int32_t subpixel, const char *make, const char *model, int32_t transform) {
    (void)d; (void)o; (void)x; (void)y; (void)pw; (void)ph; (void)subpixel; (void)make; (void)model;
    (void)transform;
}
static void output_mode(void *d, struct wl_output *o, uint32_t flags, int32_t w, int32_t h, int32_t r) {
    (void)d; (void)o; (void)flags; (void)w; (void)h; (void)r;
}
static void output_done(void *d, struct wl_output *o) { (void)d; (void)o; }
static void output_scale(void *d, struct wl_output *o, int32_t s) { (void)d; (void)o; (void)s; }
static void output_name(void *d, struct wl_output *o, const char *name) {
    (void)o;
    struct output *out = d;
    snprintf(out->name, sizeof out->name, "%s", name);
}
static void output_description(void *d, struct wl_output *o, const char *text) { (void)d; (void)o; (void)text; }
static const struct wl_output_listener output_listener = {
    output_geometry, output_mode, output_done, output_scale, output_name, output_description,
};

static void global(void *d, struct wl_registry *registry, uint32_t id, const char *interface, uint32_t version) {
    (void)d;
    if (strcmp(interface, wl_shm_interface.name) == 0) {
        shm = wl_registry_bind(registry, id, &wl_shm_interface, 1);
    } else if (strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
        manager = wl_registry_bind(registry, id, &zwlr_screencopy_manager_v1_interface, version < 3 ? version : 3);
    } else if (strcmp(interface, wl_output_interface.name) == 0) {
        struct output *out = calloc(1, sizeof *out);
        out->wl_output = wl_registry_bind(registry, id, &wl_output_interface, version < 4 ? version : 4);
        wl_output_add_listener(out->wl_output, &output_listener, out);
        out->next = outputs;
        outputs = out;
    }
}
static void global_remove(void *d, struct wl_registry *r, uint32_t id) { (void)d; (void)r; (void)id; }
static const struct wl_registry_listener registry_listener = {global, global_remove};

static void frame_buffer(void *d, struct zwlr_screencopy_frame_v1 *f, uint32_t format, uint32_t width,
                         uint32_t height, uint32_t stride) {
    (void)d; (void)f;
    frame.format = format;
    frame.width = width;
    frame.height = height;
    frame.stride = stride;
    frame.have_shm_format = 1;
}
static void frame_flags(void *d, struct zwlr_screencopy_frame_v1 *f, uint32_t flags) {
    (void)d; (void)f;
    frame.y_invert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
static void frame_ready(void *d, struct zwlr_screencopy_frame_v1 *f, uint32_t hi, uint32_t lo, uint32_t ns) {
    (void)d; (void)f; (void)hi; (void)lo; (void)ns;
    frame.done = 1;
}
static void frame_failed(void *d, struct zwlr_screencopy_frame_v1 *f) {
    (void)d; (void)f;
    frame.failed = 1;
}
static void frame_damage(void *d, struct zwlr_screencopy_frame_v1 *f, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    (void)d; (void)f; (void)x; (void)y; (void)w; (void)h;
}
static void frame_linux_dmabuf(void *d, struct zwlr_screencopy_frame_v1 *f, uint32_t format, uint32_t w, uint32_t h) {
    (void)d; (void)f; (void)format; (void)w; (void)h;
}
static void frame_buffer_done(void *d, struct zwlr_screencopy_frame_v1 *f) { (void)d; (void)f; }
static const struct zwlr_screencopy_frame_v1_listener frame_listener = {
    frame_buffer, frame_flags, frame_ready, frame_failed, frame_damage, frame_linux_dmabuf, frame_buffer_done,
};

static void create_buffer(void) {
    const size_t size = (size_t)frame.stride * frame.height;
    int fd = memfd_create("screencopy", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, (off_t)size) != 0) fail("cannot make shared memory");
    frame.data = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (frame.data == MAP_FAILED) fail("cannot map shared memory");
    struct wl_shm_pool *pool = wl_shm_create_pool(shm, fd, (int32_t)size);
    frame.buffer = wl_shm_pool_create_buffer(pool, 0, (int32_t)frame.width, (int32_t)frame.height,
                                             (int32_t)frame.stride, frame.format);
    wl_shm_pool_destroy(pool);
    close(fd);
}

/* One pixel as R, G, B from the four bytes of a 32-bit shm format. */
static void to_rgb(const uint8_t *p, uint8_t *rgb) {
    uint32_t v = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    switch (frame.format) {
        case WL_SHM_FORMAT_XRGB8888:
        case WL_SHM_FORMAT_ARGB8888:
            rgb[0] = (uint8_t)(v >> 16); rgb[1] = (uint8_t)(v >> 8); rgb[2] = (uint8_t)v;
            break;
        case WL_SHM_FORMAT_XBGR8888:
        case WL_SHM_FORMAT_ABGR8888:
            rgb[0] = (uint8_t)v; rgb[1] = (uint8_t)(v >> 8); rgb[2] = (uint8_t)(v >> 16);
            break;
        default: fail("the compositor offers a pixel format this tool does not read");
    }
}

int main(int argc, char **argv) {
    int with_cursor = argc > 1 && strcmp(argv[1], "--cursor") == 0;
    const char *wanted = argc > 1 + with_cursor ? argv[1 + with_cursor] : NULL;
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) fail("cannot connect to the Wayland display");
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (!shm || !outputs) fail("the compositor offers no wl_shm or no output");
    if (!manager) fail("the compositor does not offer zwlr_screencopy_manager_v1");

    struct output *chosen = NULL;
    for (struct output *o = outputs; o; o = o->next) {
        if (!wanted || strcmp(o->name, wanted) == 0) chosen = o;
    }
    if (!chosen) fail("no output of that name");

    struct zwlr_screencopy_frame_v1 *f = zwlr_screencopy_manager_v1_capture_output(manager, with_cursor, chosen->wl_output);
    zwlr_screencopy_frame_v1_add_listener(f, &frame_listener, NULL);
    wl_display_roundtrip(display);
    if (!frame.have_shm_format) fail("the compositor offered no shared-memory buffer");
    create_buffer();
    zwlr_screencopy_frame_v1_copy(f, frame.buffer);
    while (!frame.done && !frame.failed) {
        if (wl_display_dispatch(display) < 0) fail("the connection broke during the capture");
    }
    if (frame.failed) fail("the compositor could not copy the output");

    printf("P6\n%u %u\n255\n", frame.width, frame.height);
    uint8_t *row = malloc((size_t)frame.width * 3);
    for (uint32_t y = 0; y < frame.height; ++y) {
        const uint32_t source_row = frame.y_invert ? frame.height - 1 - y : y;
        const uint8_t *src = (const uint8_t *)frame.data + (size_t)source_row * frame.stride;
        for (uint32_t x = 0; x < frame.width; ++x) to_rgb(src + x * 4, row + x * 3);
        fwrite(row, 1, (size_t)frame.width * 3, stdout);
    }
    free(row);
    return fflush(stdout) == 0 ? 0 : 1;
}
