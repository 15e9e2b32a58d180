// A scripted game server on 127.0.0.1 (an ephemeral port) for tests: it
// accepts one client, keeps everything the client writes, and sends what
// the test pushes, when the test pushes it. Header-only; the end-to-end
// tests use it too.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

struct ScriptedPeer {
    int listener = -1;
    int port = 0;
    std::atomic<int> client{-1};
    std::atomic<bool> quit{false};
    std::atomic<bool> accept_clients{true};
    std::mutex lock;
    std::string received;
    std::thread thread;

    // listening false: the port is taken from a socket that is then closed,
    // so that nobody answers on it.
    explicit ScriptedPeer(bool listening = true)
    {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int one = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        bind(listener, (sockaddr *)&a, sizeof a);
        socklen_t length = sizeof a;
        getsockname(listener, (sockaddr *)&a, &length);
        port = ntohs(a.sin_port);
        if (!listening) {
            close(listener);
            listener = -1;
            return;
        }
        listen(listener, 4);
        thread = std::thread([this] { serve(); });
    }

    ~ScriptedPeer() { stop(); }

    std::string address() const { return "127.0.0.1:" + std::to_string(port); }

    void serve()
    {
        while (!quit && client < 0) {
            pollfd p = {listener, POLLIN, 0};
            if (poll(&p, 1, 20) == 1 && accept_clients)
                client = accept(listener, nullptr, nullptr);
        }
        char buffer[4096];
        while (!quit && client >= 0) {
            pollfd q = {client, POLLIN, 0};
            if (poll(&q, 1, 20) != 1)
                continue;
            ssize_t got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            std::lock_guard<std::mutex> g(lock);
            received.append(buffer, (size_t)got);
        }
    }

    bool wait_client(int ms = 3000)
    {
        for (int k = 0; k < ms / 5 && client < 0; k++)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return client >= 0;
    }

    // Sends bytes to the client (after it connected).
    bool push(const std::string &bytes)
    {
        if (!wait_client())
            return false;
        return send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL) == (ssize_t)bytes.size();
    }

    std::string text()
    {
        std::lock_guard<std::mutex> g(lock);
        return received;
    }

    // Waits until what the client wrote contains needle.
    bool wait_for(const std::string &needle, int ms = 3000)
    {
        for (int k = 0; k < ms / 5; k++) {
            if (text().find(needle) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    void clear()
    {
        std::lock_guard<std::mutex> g(lock);
        received.clear();
    }

    // Ends the client's connection (the server goes away).
    void drop_client()
    {
        int c = client.load();
        if (c >= 0)
            shutdown(c, SHUT_RDWR);
    }

    void stop()
    {
        quit = true;
        if (thread.joinable())
            thread.join();
        int c = client.exchange(-1);
        if (c >= 0)
            close(c);
        if (listener >= 0)
            close(listener);
        listener = -1;
    }
};
