// A minimal X11 session manager (XSMP) for the end-to-end tests: it accepts
// one client and, on a line of standard input, asks it to save: "checkpoint"
// (the session goes on) or "logout" (the session ends: the client is told to
// die once it has saved). It prints its address first, then one line per
// event: "registered", "saved", "closed".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <poll.h>
#include <unistd.h>

namespace {

SmsConn g_client = nullptr;
bool g_logout = false;

void say(const char *what)
{
    printf("%s\n", what);
    fflush(stdout);
}

Status newClient(SmsConn, SmPointer, unsigned long *mask, SmsCallbacks *cb, char **)
{
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    std::memset(cb, 0, sizeof *cb);
    cb->register_client.callback = [](SmsConn conn, SmPointer, char *previousId) -> Status {
        static char fallbackId[] = "1quillet-test";
        char *id = SmsGenerateClientID(conn);
        SmsRegisterClientReply(conn, id ? id : fallbackId);
        free(id);
        free(previousId);
        g_client = conn;
        say("registered");
        return 1;
    };
    cb->interact_request.callback = [](SmsConn conn, SmPointer, int) { SmsInteract(conn); };
    cb->interact_done.callback = [](SmsConn, SmPointer, Bool) {};
    cb->save_yourself_request.callback = [](SmsConn, SmPointer, int, Bool, int, Bool, Bool) {};
    cb->save_yourself_phase2_request.callback = [](SmsConn conn, SmPointer) {
        SmsSaveYourselfPhase2(conn);
    };
    cb->save_yourself_done.callback = [](SmsConn conn, SmPointer, Bool) {
        say("saved");
        g_logout ? SmsDie(conn) : SmsSaveComplete(conn);
    };
    cb->close_connection.callback = [](SmsConn conn, SmPointer, int count, char **reasons) {
        SmFreeReasons(count, reasons);
        SmsCleanUp(conn);
        say("closed");
        exit(0);
    };
    // Properties are neither kept nor freed: this manager lives for one test.
    cb->set_properties.callback = [](SmsConn, SmPointer, int, SmProp **) {};
    cb->delete_properties.callback = [](SmsConn, SmPointer, int, char **) {};
    cb->get_properties.callback = [](SmsConn conn, SmPointer) {
        SmsReturnProperties(conn, 0, nullptr);
    };
    return 1;
}

} // namespace

int main()
{
    char vendor[] = "quillet-test-sm", release[] = "1", error[256];
    int count = 0;
    IceListenObj *listeners = nullptr;
    // Only local test clients connect; they have no ICE authority file.
    const IceHostBasedAuthProc anyHost = [](char *) -> Bool { return True; };
    if (!SmsInitialize(vendor, release, newClient, nullptr, anyHost, sizeof error, error) ||
        !IceListenForConnections(&count, &listeners, sizeof error, error)) {
        fprintf(stderr, "session manager: %s\n", error);
        return 1;
    }
    for (int i = 0; i < count; ++i)
        IceSetHostBasedAuthProc(listeners[i], anyHost);
    char *address = IceComposeNetworkIdList(count, listeners);
    say(address);
    free(address);

    IceConn client = nullptr;
    for (;;) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        for (int i = 0; i < count; ++i)
            fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
        if (client)
            fds.push_back({IceConnectionNumber(client), POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0)
            return 1;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char line[64];
            if (!fgets(line, sizeof line, stdin))
                return 0;
            g_logout = strncmp(line, "logout", 6) == 0;
            if (g_client)
                SmsSaveYourself(g_client, SmSaveBoth, g_logout, SmInteractStyleNone, False);
        }
        for (int i = 0; i < count && !client; ++i) {
            IceAcceptStatus status;
            if (fds[i + 1].revents & POLLIN)
                client = IceAcceptConnection(listeners[i], &status);
            while (client && IceConnectionStatus(client) == IceConnectPending)
                IceProcessMessages(client, nullptr, nullptr);
        }
        if (client && fds.size() == size_t(count) + 2 &&
            (fds.back().revents & (POLLIN | POLLHUP)) &&
            IceProcessMessages(client, nullptr, nullptr) == IceProcessMessagesIOError)
            return 0;
    }
}
