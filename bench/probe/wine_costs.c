/* Measures what the Win32 calls that the relay makes for every block and for
 * every connection cost on this machine, so that its delivery time can be
 * split into their parts. Built for Windows and run under Wine by the
 * benchmark; it prints one JSON object of microseconds per call.
 *
 * Usage: wine_costs.exe FOLDER OUTPUT_FILE
 *   FOLDER: made the current directory again and again, as the relay does
 *   OUTPUT_FILE: created, written and closed again and again */
/* Winsock 2 must come before windows.h, which would bring the old header. */
#include <winsock2.h>

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kBlockBytes = 62, kWriteBuffer = 128, kMiB = 1 << 20 };

static double now_us(void) {
    static LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart * 1e6 / (double)frequency.QuadPart;
}

/* Each call is timed alone and the median reported, so that a moment when
 * the machine was busy elsewhere does not count. */
enum { kMaxSamples = 20000 };
static double samples[kMaxSamples];
static int sample_count;

static int ascending(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static void sample(double microseconds) {
    if (sample_count < kMaxSamples)
        samples[sample_count++] = microseconds;
}

static double median(void) {
    if (sample_count == 0)
        return -1;
    qsort(samples, (size_t)sample_count, sizeof samples[0], ascending);
    const double value = samples[sample_count / 2];
    sample_count = 0;
    return value;
}

static int fields;

static void report(const char* name, double microseconds) {
    printf("%s\n  \"%s\": %.3f", fields++ ? "," : "{", name, microseconds);
}

static int fail(const char* what) {
    fprintf(stderr, "wine_costs: %s failed (%lu)\n", what, (unsigned long)GetLastError());
    return 1;
}

/* A connected pair of sockets on loopback: the client end and the accepted end. */
static int socket_pair(SOCKET listener, unsigned short port, SOCKET* client, SOCKET* accepted) {
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    *client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (*client == INVALID_SOCKET ||
        connect(*client, (struct sockaddr*)&address, sizeof address) != 0)
        return -1;
    *accepted = accept(listener, NULL, NULL);
    return *accepted == INVALID_SOCKET ? -1 : 0;
}

static LRESULT CALLBACK quiet_window(HWND window, UINT message, WPARAM w, LPARAM l) {
    return DefWindowProcA(window, message, w, l);
}

/* A hidden top-level window like the relay's notification windows, or a
 * message-only one (parent HWND_MESSAGE), which no display ever knows of. */
static HWND hidden_window(HWND parent) {
    return CreateWindowExA(WS_EX_TOOLWINDOW, "QuendraBenchProbe", "", WS_POPUP, 0, 0, 0, 0, parent,
                           NULL, GetModuleHandleA(NULL), NULL);
}

/* The socket calls of one drain: count queries, one receive, the closing query. */
static int measure_sockets(void) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return fail("WSAStartup");
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    struct sockaddr_in address;
    int size = sizeof address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, (struct sockaddr*)&address, sizeof address) != 0 ||
        listen(listener, 5) != 0 || getsockname(listener, (struct sockaddr*)&address, &size) != 0)
        return fail("listen");
    const unsigned short port = ntohs(address.sin_port);

    SOCKET client, accepted;
    if (socket_pair(listener, port, &client, &accepted) != 0)
        return fail("connect");
    u_long waiting = 0;
    const int queries = 2000;
    for (int i = 0; i < queries; ++i) {
        const double started = now_us();
        ioctlsocket(accepted, FIONREAD, &waiting);
        sample(now_us() - started);
    }
    report("fionread_us", median());

    char block[kBlockBytes];
    memset(block, 'x', sizeof block);
    const int receives = 1000;
    for (int i = 0; i < receives; ++i) {
        send(client, block, sizeof block, 0);
        for (int spin = 0; spin < 1000000; ++spin) {
            if (ioctlsocket(accepted, FIONREAD, &waiting) == 0 && waiting >= sizeof block)
                break;
        }
        const double started = now_us();
        recv(accepted, block, sizeof block, 0);
        sample(now_us() - started);
    }
    report("recv_us", median());

    /* Each accepted connection: the accept and a Winsock session of its own. */
    enum { kConnections = 200 };
    const int connections = kConnections;
    static double sessions[kConnections];
    for (int i = 0; i < connections; ++i) {
        SOCKET other_client, other_accepted;
        struct sockaddr_in peer;
        int peer_size = sizeof peer;
        other_client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        address.sin_port = htons(port);
        if (connect(other_client, (struct sockaddr*)&address, sizeof address) != 0)
            return fail("connect");
        Sleep(0);
        double started = now_us();
        other_accepted = accept(listener, (struct sockaddr*)&peer, &peer_size);
        sample(now_us() - started);
        started = now_us();
        WSADATA own;
        WSAStartup(MAKEWORD(1, 1), &own);
        WSACleanup();
        sessions[i] = now_us() - started;
        closesocket(other_accepted);
        closesocket(other_client);
    }
    report("accept_us", median());
    for (int i = 0; i < connections; ++i)
        sample(sessions[i]);
    report("wsa_session_us", median());
    closesocket(accepted);
    closesocket(client);
    closesocket(listener);
    WSACleanup();
    return 0;
}

/* The file calls of one block, and the cost of writing through a small buffer. */
static int measure_files(const char* folder, const char* path) {
    const int rounds = 2000;
    for (int i = 0; i < rounds; ++i) {
        const double started = now_us();
        SetCurrentDirectoryA(folder);
        sample(now_us() - started);
    }
    report("set_current_directory_us", median());

    char block[kBlockBytes];
    memset(block, 'y', sizeof block);
    for (int i = 0; i < rounds; ++i) {
        const double started = now_us();
        HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return fail("CreateFileA");
        DWORD written;
        WriteFile(file, block, sizeof block, &written, NULL);
        CloseHandle(file);
        sample(now_us() - started);
    }
    report("create_write_close_us", median());

    char* mebibyte = malloc(kMiB);
    if (!mebibyte)
        return fail("malloc");
    memset(mebibyte, 'z', kMiB);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return fail("CreateFileA");
    DWORD written;
    const int small_writes = kMiB / kWriteBuffer;
    enum { kRepeats = 5 };
    for (int round = 0; round < kRepeats; ++round) {
        SetFilePointer(file, 0, NULL, FILE_BEGIN);
        const double started = now_us();
        for (int i = 0; i < small_writes; ++i)
            WriteFile(file, mebibyte + i * kWriteBuffer, kWriteBuffer, &written, NULL);
        sample(now_us() - started);
    }
    const double small = median();
    report("write_128_us", small / small_writes);
    report("mib_in_128_byte_writes_us", small);
    for (int round = 0; round < kRepeats; ++round) {
        SetFilePointer(file, 0, NULL, FILE_BEGIN);
        const double started = now_us();
        WriteFile(file, mebibyte, kMiB, &written, NULL);
        sample(now_us() - started);
    }
    report("mib_in_one_write_us", median());
    CloseHandle(file);
    free(mebibyte);
    return 0;
}

/* One posted message through the queue, and one hidden window made and destroyed. */
static int measure_windows(void) {
    WNDCLASSA window_class;
    memset(&window_class, 0, sizeof window_class);
    window_class.lpfnWndProc = quiet_window;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = "QuendraBenchProbe";
    if (!RegisterClassA(&window_class))
        return fail("RegisterClassA");
    HWND window = hidden_window(NULL);
    if (!window)
        return fail("CreateWindowExA");
    const int messages = 2000;
    for (int i = 0; i < messages; ++i) {
        MSG message;
        const double started = now_us();
        PostMessageA(window, WM_USER + 1, 0, 0);
        if (GetMessageA(&message, NULL, 0, 0) > 0)
            DispatchMessageA(&message);
        sample(now_us() - started);
    }
    report("posted_message_us", median());
    DestroyWindow(window);

    /* Made and destroyed apart: a connection makes its window when it is
     * accepted and destroys it when it closes. */
    enum { kWindows = 200 };
    static HWND made[kWindows];
    static double destroying[kWindows];
    const HWND parents[2] = {NULL, HWND_MESSAGE};
    const char* names[2][2] = {{"hidden_window_make_us", "hidden_window_destroy_us"},
                               {"message_only_window_make_us", "message_only_window_destroy_us"}};
    for (int kind = 0; kind < 2; ++kind) {
        for (int i = 0; i < kWindows; ++i) {
            const double started = now_us();
            made[i] = hidden_window(parents[kind]);
            sample(now_us() - started);
        }
        report(names[kind][0], median());
        for (int i = 0; i < kWindows; ++i) {
            const double started = now_us();
            DestroyWindow(made[i]);
            destroying[i] = now_us() - started;
        }
        for (int i = 0; i < kWindows; ++i)
            sample(destroying[i]);
        report(names[kind][1], median());
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: wine_costs FOLDER OUTPUT_FILE\n");
        return 2;
    }
    if (measure_sockets() || measure_files(argv[1], argv[2]) || measure_windows())
        return 1;
    printf("\n}\n");
    return 0;
}
