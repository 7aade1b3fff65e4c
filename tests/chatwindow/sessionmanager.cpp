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
char g_clientId[] = "1quillet-test";

void say(const char *what)
{
    printf("%s\n", what);
    fflush(stdout);
}

Status registerClient(SmsConn conn, SmPointer, char *previousId)
{
    char *id = SmsGenerateClientID(conn);
    SmsRegisterClientReply(conn, id ? id : g_clientId);
    free(id);
    free(previousId);
    g_client = conn;
    say("registered");
    return 1;
}

void interactRequest(SmsConn conn, SmPointer, int)
{
    SmsInteract(conn);
}

void interactDone(SmsConn, SmPointer, Bool) {}

void saveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}

void saveYourselfPhase2Request(SmsConn conn, SmPointer)
{
    SmsSaveYourselfPhase2(conn);
}

void saveYourselfDone(SmsConn conn, SmPointer, Bool)
{
    say("saved");
    if (g_logout)
        SmsDie(conn);
    else
        SmsSaveComplete(conn);
}

void closeConnection(SmsConn conn, SmPointer, int count, char **reasons)
{
    SmFreeReasons(count, reasons);
    SmsCleanUp(conn);
    say("closed");
    exit(0);
}

void setProperties(SmsConn, SmPointer, int count, SmProp **properties)
{
    for (int i = 0; i < count; ++i)
        SmFreeProperty(properties[i]);
    free(properties);
}

void deleteProperties(SmsConn, SmPointer, int count, char **names)
{
    for (int i = 0; i < count; ++i)
        free(names[i]);
    free(names);
}

void getProperties(SmsConn conn, SmPointer)
{
    SmsReturnProperties(conn, 0, nullptr);
}

Status newClient(SmsConn, SmPointer, unsigned long *mask, SmsCallbacks *callbacks, char **)
{
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    std::memset(callbacks, 0, sizeof *callbacks);
    callbacks->register_client.callback = registerClient;
    callbacks->interact_request.callback = interactRequest;
    callbacks->interact_done.callback = interactDone;
    callbacks->save_yourself_request.callback = saveYourselfRequest;
    callbacks->save_yourself_phase2_request.callback = saveYourselfPhase2Request;
    callbacks->save_yourself_done.callback = saveYourselfDone;
    callbacks->close_connection.callback = closeConnection;
    callbacks->set_properties.callback = setProperties;
    callbacks->delete_properties.callback = deleteProperties;
    callbacks->get_properties.callback = getProperties;
    return 1;
}

// Only local test clients connect; they have no ICE authority file.
Bool anyHost(char *)
{
    return True;
}

} // namespace

int main()
{
    char vendor[] = "quillet-test-sm", release[] = "1", error[256];
    int count = 0;
    IceListenObj *listeners = nullptr;
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
            if (!(fds[i + 1].revents & POLLIN))
                continue;
            IceAcceptStatus status;
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
