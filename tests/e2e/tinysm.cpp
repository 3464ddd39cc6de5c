/* A tiny X session manager for the end-to-end run: just enough of XSMP to
 * end a desktop session the way a desktop does, with leave to interact.
 *
 * It listens on a local ICE socket and prints "SESSION_MANAGER=<address>"
 * first. Then it reads commands on stdin, one a line:
 *   shutdown   asks every client to save itself before the session ends
 *              (interaction allowed); a client that asks to interact is
 *              let to at once. When every client is done the session ends
 *              (each is told to die) unless one cancelled it.
 * and reports on stdout what happens, one event a line: "registered",
 * "interact-request", "interact-done cancel=N", "save-done", "cancelled",
 * "die", "closed". Connections are accepted without authentication.
 *
 * It ends when stdin closes or on SIGTERM, SIGINT or SIGHUP, and then takes
 * its socket out of /tmp/.ICE-unix, so no run leaves one behind.
 */

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <unistd.h>

#define MAX_CLIENTS 8

static SmsConn clients[MAX_CLIENTS];
static int clientCount;
static int pendingSaves;
static int shutdownCancelled;

static void say(const char* event) {
    printf("%s\n", event);
    fflush(stdout);
}

static void forget(SmsConn c) {
    for (int i = 0; i < clientCount; ++i)
        if (clients[i] == c) {
            clients[i] = clients[--clientCount];
            return;
        }
}

static Status registerClient(SmsConn c, SmPointer data, char* previousId) {
    (void)data;
    free(previousId);
    char* id = SmsGenerateClientID(c);
    if (!id)
        id = strdup("corvel-quillmark-e2e-client");
    SmsRegisterClientReply(c, id);
    free(id);
    say("registered");
    return 1;
}

static void interactRequest(SmsConn c, SmPointer data, int dialogType) {
    (void)data;
    (void)dialogType;
    say("interact-request");
    SmsInteract(c);
}

static void interactDone(SmsConn c, SmPointer data, Bool cancel) {
    (void)c;
    (void)data;
    char line[64];
    snprintf(line, sizeof line, "interact-done cancel=%d", cancel ? 1 : 0);
    say(line);
    if (cancel)
        shutdownCancelled = 1;
}

static void saveYourselfRequest(SmsConn c, SmPointer data, int saveType, Bool shutdown,
                                int interactStyle, Bool fast, Bool global) {
    (void)c, (void)data, (void)saveType, (void)shutdown, (void)interactStyle, (void)fast,
        (void)global;
}

static void phase2Request(SmsConn c, SmPointer data) {
    SmsSaveYourselfPhase2(c);
    (void)data;
}

static void endOrCancel(void) {
    if (pendingSaves > 0)
        return;
    if (shutdownCancelled) {
        for (int i = 0; i < clientCount; ++i)
            SmsShutdownCancelled(clients[i]);
        say("cancelled");
    } else {
        for (int i = 0; i < clientCount; ++i)
            SmsDie(clients[i]);
        say("die");
    }
}

static void saveDone(SmsConn c, SmPointer data, Bool success) {
    (void)c;
    (void)data;
    (void)success;
    say("save-done");
    --pendingSaves;
    endOrCancel();
}

static void closeConnection(SmsConn c, SmPointer data, int count, char** reasons) {
    (void)data;
    IceConn ice = SmsGetIceConnection(c);
    SmFreeReasons(count, reasons);
    forget(c);
    SmsCleanUp(c);
    IceSetShutdownNegotiation(ice, False);
    IceCloseConnection(ice);
    say("closed");
}

static void setProperties(SmsConn c, SmPointer data, int n, SmProp** props) {
    (void)c, (void)data;
    for (int i = 0; i < n; ++i)
        SmFreeProperty(props[i]);
    free(props);
}

static void deleteProperties(SmsConn c, SmPointer data, int n, char** names) {
    (void)c, (void)data;
    for (int i = 0; i < n; ++i)
        free(names[i]);
    free(names);
}

static void getProperties(SmsConn c, SmPointer data) {
    (void)data;
    SmsReturnProperties(c, 0, NULL);
}

static Status newClient(SmsConn c, SmPointer data, unsigned long* mask, SmsCallbacks* cb,
                        char** failureReason) {
    (void)data;
    (void)failureReason;
    if (clientCount == MAX_CLIENTS)
        return 0;
    clients[clientCount++] = c;
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    cb->register_client.callback = registerClient;
    cb->interact_request.callback = interactRequest;
    cb->interact_done.callback = interactDone;
    cb->save_yourself_request.callback = saveYourselfRequest;
    cb->save_yourself_phase2_request.callback = phase2Request;
    cb->save_yourself_done.callback = saveDone;
    cb->close_connection.callback = closeConnection;
    cb->set_properties.callback = setProperties;
    cb->delete_properties.callback = deleteProperties;
    cb->get_properties.callback = getProperties;
    return 1;
}

static Bool anyHost(char* hostName) {
    (void)hostName;
    return True;
}

#define MAX_ICE 16
static IceConn iceConns[MAX_ICE];
static int iceCount;

static volatile sig_atomic_t stopRequested;

static void requestStop(int signal) {
    (void)signal;
    stopRequested = 1;
}

/* The signals that end the program are held back but while it waits in
 * pselect, so one cannot slip in between the check and the wait. */
static void catchStopSignals(sigset_t* waitMask) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigset_t blocked;
    sigemptyset(&blocked);
    const int stops[] = {SIGTERM, SIGINT, SIGHUP};
    for (size_t i = 0; i < sizeof stops / sizeof stops[0]; ++i) {
        sigaction(stops[i], &action, NULL);
        sigaddset(&blocked, stops[i]);
    }
    sigprocmask(SIG_BLOCK, &blocked, waitMask);
    for (size_t i = 0; i < sizeof stops / sizeof stops[0]; ++i)
        sigdelset(waitMask, stops[i]);
}

int main(void) {
    sigset_t waitMask;
    catchStopSignals(&waitMask);
    char error[256];
    if (!SmsInitialize("corvel-quillmark-e2e", "1", newClient, NULL, anyHost, sizeof error,
                       error)) {
        fprintf(stderr, "SmsInitialize: %s\n", error);
        return 1;
    }
    int listenCount = 0;
    IceListenObj* listeners = NULL;
    if (!IceListenForConnections(&listenCount, &listeners, sizeof error, error)) {
        fprintf(stderr, "IceListenForConnections: %s\n", error);
        return 1;
    }
    /* Only the local socket: the session is on this machine. */
    int local = -1;
    for (int i = 0; i < listenCount; ++i) {
        IceSetHostBasedAuthProc(listeners[i], anyHost);
        char* id = IceGetListenConnectionString(listeners[i]);
        if (local < 0 && id && strncmp(id, "local/", 6) == 0)
            local = i;
        free(id);
    }
    if (local < 0)
        local = 0;
    char* address = IceGetListenConnectionString(listeners[local]);
    printf("SESSION_MANAGER=%s\n", address);
    fflush(stdout);
    free(address);

    char command[128];
    size_t have = 0;
    for (;;) {
        fd_set fds;
        FD_ZERO(&fds);
        int top = 0;
        FD_SET(0, &fds);
        for (int i = 0; i < listenCount; ++i) {
            const int fd = IceGetListenConnectionNumber(listeners[i]);
            FD_SET(fd, &fds);
            if (fd > top)
                top = fd;
        }
        for (int i = 0; i < iceCount; ++i) {
            const int fd = IceConnectionNumber(iceConns[i]);
            FD_SET(fd, &fds);
            if (fd > top)
                top = fd;
        }
        if (pselect(top + 1, &fds, NULL, NULL, NULL, &waitMask) < 0) {
            if (errno == EINTR && !stopRequested)
                continue;
            break;
        }
        if (FD_ISSET(0, &fds)) {
            const ssize_t n = read(0, command + have, sizeof command - 1 - have);
            if (n <= 0)
                break; /* the driver is gone */
            have += (size_t)n;
            command[have] = '\0';
            char* nl;
            while ((nl = strchr(command, '\n'))) {
                *nl = '\0';
                if (strcmp(command, "shutdown") == 0) {
                    shutdownCancelled = 0;
                    pendingSaves = clientCount;
                    for (int i = 0; i < clientCount; ++i)
                        SmsSaveYourself(clients[i], SmSaveBoth, True, SmInteractStyleAny, False);
                }
                have -= (size_t)(nl + 1 - command);
                memmove(command, nl + 1, have + 1);
            }
        }
        for (int i = 0; i < listenCount; ++i) {
            if (!FD_ISSET(IceGetListenConnectionNumber(listeners[i]), &fds))
                continue;
            IceAcceptStatus status;
            IceConn ice = IceAcceptConnection(listeners[i], &status);
            if (!ice || status != IceAcceptSuccess || iceCount == MAX_ICE)
                continue;
            /* Finish the connection's set-up before serving it. */
            IceConnectStatus cs;
            while ((cs = IceConnectionStatus(ice)) == IceConnectPending)
                IceProcessMessages(ice, NULL, NULL);
            if (cs == IceConnectAccepted)
                iceConns[iceCount++] = ice;
            else
                IceCloseConnection(ice);
        }
        for (int i = 0; i < iceCount; ++i) {
            if (!FD_ISSET(IceConnectionNumber(iceConns[i]), &fds))
                continue;
            if (IceProcessMessages(iceConns[i], NULL, NULL) != IceProcessMessagesSuccess) {
                iceConns[i] = iceConns[--iceCount];
                --i;
            }
        }
    }
    /* Closing the listeners removes their sockets. */
    IceFreeListenObjs(listenCount, listeners);
    return 0;
}
