/* A person inside a headless weston, for the real-display tests and the timing benchmark: a seat
 * with a keyboard and a pointer that takes commands from a FIFO, and an eye on every frame the
 * compositor paints that reports how many yellow discs it shows and when the frame was presented.
 *
 *   weston --backend=headless-backend.so --modules=/path/westonrobot.so
 *   BLINKDASH_ROBOT_FIFO  commands, one per line:
 *       click X Y [TITLE] (in the topmost window of that title, X Y from its top left corner)
 *       | key CODE | press (SPACE, stamped now) | answer MS (from now on SPACE MS after each
 *       frame that brings a disc, by its presentation time; 0: no more) | answer MIN MAX (each
 *       after a time drawn from MIN to MAX ms, to the microsecond) | early (SPACE as soon as the
 *       next frame that brings a disc is painted, before it is presented: pressed too early)
 *   BLINKDASH_ROBOT_LOG   reports, one per line:
 *       sight N X Y L T  a frame presented at T (ns, the presentation clock) shows N discs, the
 *                        first at X Y, and L points of anything else but black (on a grid a
 *                        third of a disc wide); written whenever N, or whether L is 0, changes
 *       pressed T MS     SPACE went down, stamped T (ns, CLOCK_MONOTONIC, as evdev stamps keys),
 *                        MS after the disc came (0: a press of its own)
 */
#include <libweston-desktop/libweston-desktop.h>
#include <libweston/libweston.h>

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

/* Exported by libweston 10 for its backends, declared in a header it does not install. */
void weston_seat_init(struct weston_seat *seat, struct weston_compositor *ec, const char *seat_name);
int weston_seat_init_pointer(struct weston_seat *seat);
int weston_seat_init_keyboard(struct weston_seat *seat, struct xkb_keymap *keymap);
void notify_key(struct weston_seat *seat, const struct timespec *time, uint32_t key, enum wl_keyboard_key_state state,
    enum weston_key_state_update update_state);
void notify_motion_absolute(struct weston_seat *seat, const struct timespec *time, double x, double y);
void notify_button(
    struct weston_seat *seat, const struct timespec *time, int32_t button, enum wl_pointer_button_state state);
void notify_pointer_frame(struct weston_seat *seat);

struct robot
{
    struct weston_compositor *compositor;
    struct weston_seat seat;
    struct wl_event_source *commands;
    struct wl_event_source *release, *report, *answerTimer;
    FILE *log;
    char line[256];
    size_t length;
    int discs, lit, reportedDiscs;
    int pending, pendingDiscs, pendingX, pendingY, pendingLit;
    struct weston_output *pendingOutput;
    int64_t lastShown; /* the output's last presentation when the frame was painted */
    struct wl_listener outputCreated;
    double answerMs;        /* > 0: press SPACE this long after each disc */
    double answerMaxMs;     /* > answerMs: a time drawn from answerMs to this */
    double answeredMs;      /* the one pending */
    int early;              /* press when the next disc is painted */
    struct timespec answer; /* the press's stamp, CLOCK_MONOTONIC */
    uint32_t *pixels;
    size_t pixelsSize;
};

struct eye
{
    struct wl_listener frame;
    struct weston_output *output;
    struct robot *robot;
};

static int64_t ns_of(const struct timespec *t)
{
    return (int64_t)t->tv_sec * 1000000000 + t->tv_nsec;
}

static struct timespec timespec_of(int64_t ns)
{
    struct timespec t = {(time_t)(ns / 1000000000), (long)(ns % 1000000000)};
    return t;
}

static int64_t now_on(clockid_t clock)
{
    struct timespec t;
    clock_gettime(clock, &t);
    return ns_of(&t);
}

static void key(struct robot *robot, uint32_t code, const struct timespec *at, int down)
{
    notify_key(&robot->seat, at, code, down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED,
        STATE_UPDATE_AUTOMATIC);
}

static int release_space(void *data)
{
    struct robot *robot = data;
    struct timespec now = timespec_of(now_on(CLOCK_MONOTONIC));
    key(robot, KEY_SPACE, &now, 0);
    return 0;
}

static void press_space(struct robot *robot, const struct timespec *at, double afterMs)
{
    key(robot, KEY_SPACE, at, 1);
    fprintf(robot->log, "pressed %lld %.3f\n", (long long)ns_of(at), afterMs);
    wl_event_source_timer_update(robot->release, 40);
}

static int answer_due(void *data)
{
    struct robot *robot = data;
    press_space(robot, &robot->answer, robot->answeredMs);
    return 0;
}

static int yellow(uint32_t pixel)
{
    return (pixel & 0xFFFFFF) == 0xFFFF00;
}

/* A sight is reported once its frame was presented: weston repaints an output only after its
 * last frame was presented, so its presentation time is the output's next one. */
static void report(struct robot *robot)
{
    const int64_t shown = ns_of(&robot->pendingOutput->frame_time);
    robot->pending = 0;
    fprintf(robot->log, "sight %d %d %d %d %lld\n", robot->pendingDiscs, robot->pendingX, robot->pendingY,
        robot->pendingLit, (long long)shown);
    if (robot->pendingDiscs > 0 && robot->reportedDiscs == 0 && robot->answerMs > 0) {
        /* The press's stamp on CLOCK_MONOTONIC, from the presentation clock's instant. */
        const int64_t offset = now_on(CLOCK_MONOTONIC) - now_on(robot->compositor->presentation_clock);
        double ms = robot->answerMs;
        if (robot->answerMaxMs > ms)
            ms += (robot->answerMaxMs - ms) * (double)rand() / RAND_MAX;
        const int64_t at = shown + (int64_t)(ms * 1e6) + offset;
        robot->answer = timespec_of(at);
        robot->answeredMs = (double)(at - offset - shown) / 1e6;
        const int64_t wait = at - now_on(CLOCK_MONOTONIC);
        /* Never handed over before the instant it is stamped with. */
        wl_event_source_timer_update(robot->answerTimer, wait > 0 ? (int)(wait / 1000000) + 1 : 1);
    }
    robot->reportedDiscs = robot->pendingDiscs;
}

static int report_when_presented(void *data)
{
    struct robot *robot = data;
    if (!robot->pending)
        return 0;
    if (ns_of(&robot->pendingOutput->frame_time) == robot->lastShown)
        wl_event_source_timer_update(robot->report, 1);
    else
        report(robot);
    return 0;
}

/* Discs are counted as groups of yellow points on a grid finer than a disc, a group being the
 * points within two disc widths of its first. */
static void look(struct wl_listener *listener, void *data)
{
    struct eye *eye = wl_container_of(listener, eye, frame);
    struct robot *robot = eye->robot;
    struct weston_output *output = eye->output;
    const int width = output->current_mode->width, height = output->current_mode->height;
    const size_t size = (size_t)width * height * 4;
    (void)data;
    if (robot->pending && ns_of(&robot->pendingOutput->frame_time) != robot->lastShown)
        report(robot);
    if (size > robot->pixelsSize) {
        free(robot->pixels);
        robot->pixels = malloc(size);
        robot->pixelsSize = size;
    }
    if (!robot->pixels
        || robot->compositor->renderer->read_pixels(output, PIXMAN_a8r8g8b8, robot->pixels, 0, 0, width, height) < 0)
        return;
    const int step = width / 120 > 2 ? width / 120 : 2;
    const int reach = width / 20;
    int discs = 0, lit = 0, xs[8] = {0}, ys[8] = {0};
    for (int y = step / 2; y < height; y += step)
        for (int x = step / 2; x < width; x += step) {
            const uint32_t pixel = robot->pixels[(size_t)y * width + x];
            if (!yellow(pixel)) {
                lit += (pixel & 0xFFFFFF) != 0;
                continue;
            }
            int known = 0;
            for (int i = 0; i < discs && !known; ++i)
                known = abs(xs[i] - x) <= reach && abs(ys[i] - y) <= reach;
            if (!known && discs < 8) {
                xs[discs] = x;
                ys[discs] = y;
                ++discs;
            }
        }
    if (discs == robot->discs && (lit > 0) == (robot->lit > 0))
        return;
    if (discs > 0 && robot->discs == 0 && robot->early) {
        struct timespec now = timespec_of(now_on(CLOCK_MONOTONIC));
        robot->early = 0;
        press_space(robot, &now, 0);
    }
    robot->discs = discs;
    robot->lit = lit;
    robot->pending = 1;
    robot->pendingDiscs = discs;
    robot->pendingX = xs[0];
    robot->pendingY = ys[0];
    robot->pendingLit = lit;
    robot->pendingOutput = output;
    robot->lastShown = ns_of(&output->frame_time);
    wl_event_source_timer_update(robot->report, 1);
}

static void watch(struct robot *robot, struct weston_output *output)
{
    struct eye *eye = calloc(1, sizeof *eye);
    eye->output = output;
    eye->robot = robot;
    eye->frame.notify = look;
    wl_signal_add(&output->frame_signal, &eye->frame);
}

static void output_created(struct wl_listener *listener, void *data)
{
    struct robot *robot = wl_container_of(listener, robot, outputCreated);
    watch(robot, data);
}

/* The topmost window of that title: where its point x y is on the screen. */
static int find_window(struct robot *robot, const char *title, float x, float y, float *gx, float *gy)
{
    struct weston_view *view;
    wl_list_for_each(view, &robot->compositor->view_list, link)
    {
        if (!weston_surface_is_desktop_surface(view->surface))
            continue;
        struct weston_desktop_surface *window = weston_surface_get_desktop_surface(view->surface);
        const char *name = weston_desktop_surface_get_title(window);
        if (!name || strcmp(name, title) != 0)
            continue;
        const struct weston_geometry frame = weston_desktop_surface_get_geometry(window);
        weston_view_to_global_float(view, frame.x + x, frame.y + y, gx, gy);
        return 1;
    }
    return 0;
}

static void run(struct robot *robot, const char *command)
{
    struct timespec now = timespec_of(now_on(CLOCK_MONOTONIC));
    int x, y, value, most, titleAt = 0;
    if (sscanf(command, "click %d %d %n", &x, &y, &titleAt) >= 2) {
        float gx = x, gy = y;
        if (titleAt > 0 && command[titleAt] && !find_window(robot, command + titleAt, x, y, &gx, &gy)) {
            fprintf(robot->log, "no window %s\n", command + titleAt);
            return;
        }
        notify_motion_absolute(&robot->seat, &now, gx, gy);
        notify_pointer_frame(&robot->seat);
        notify_button(&robot->seat, &now, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
        notify_pointer_frame(&robot->seat);
        notify_button(&robot->seat, &now, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
        notify_pointer_frame(&robot->seat);
    } else if (sscanf(command, "key %d", &value) == 1) {
        key(robot, (uint32_t)value, &now, 1);
        key(robot, (uint32_t)value, &now, 0);
    } else if (strcmp(command, "early") == 0) {
        robot->early = 1;
    } else if (strcmp(command, "press") == 0) {
        press_space(robot, &now, 0);
    } else if (sscanf(command, "answer %d %d", &value, &most) == 2) {
        robot->answerMs = value;
        robot->answerMaxMs = most;
    } else if (sscanf(command, "answer %d", &value) == 1) {
        robot->answerMs = value;
        robot->answerMaxMs = 0;
    } else {
        fprintf(robot->log, "unknown %s\n", command);
    }
}

static int read_commands(int fd, uint32_t mask, void *data)
{
    struct robot *robot = data;
    char c;
    (void)mask;
    while (read(fd, &c, 1) == 1) {
        if (c != '\n') {
            if (robot->length + 1 < sizeof robot->line)
                robot->line[robot->length++] = c;
            continue;
        }
        robot->line[robot->length] = '\0';
        robot->length = 0;
        run(robot, robot->line);
    }
    return 0;
}

WL_EXPORT int wet_module_init(struct weston_compositor *compositor, int *argc, char *argv[])
{
    const char *fifo = getenv("BLINKDASH_ROBOT_FIFO"), *logPath = getenv("BLINKDASH_ROBOT_LOG");
    struct robot *robot = calloc(1, sizeof *robot);
    struct wl_event_loop *loop = wl_display_get_event_loop(compositor->wl_display);
    struct weston_output *output;
    (void)argc;
    (void)argv;
    if (!fifo || !logPath)
        return -1;
    robot->compositor = compositor;
    srand((unsigned)now_on(CLOCK_MONOTONIC) ^ (unsigned)getpid()); /* other times in each run */
    robot->log = fopen(logPath, "w");
    if (!robot->log)
        return -1;
    setvbuf(robot->log, NULL, _IOLBF, 0);
    weston_seat_init(&robot->seat, compositor, "robot");
    weston_seat_init_keyboard(&robot->seat, NULL);
    weston_seat_init_pointer(&robot->seat);
    /* Read and write: the FIFO never reports an end while the robot holds it open itself. */
    const int fd = open(fifo, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    robot->commands = wl_event_loop_add_fd(loop, fd, WL_EVENT_READABLE, read_commands, robot);
    robot->release = wl_event_loop_add_timer(loop, release_space, robot);
    robot->report = wl_event_loop_add_timer(loop, report_when_presented, robot);
    robot->answerTimer = wl_event_loop_add_timer(loop, answer_due, robot);
    wl_list_for_each(output, &compositor->output_list, link) watch(robot, output);
    robot->outputCreated.notify = output_created;
    wl_signal_add(&compositor->output_created_signal, &robot->outputCreated);
    fprintf(robot->log, "ready\n");
    return 0;
}
