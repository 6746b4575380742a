#pragma once

#include <juce_core/juce_core.h>

#include <atomic>
#include <csignal>
#include <cstdlib>

namespace tavlin::test
{

/** A tiny HTTP/1.1 server on 127.0.0.1 for tests: answers every request with the reply set last, one
    connection at a time, on a thread of its own. Replies can be held back until release().
*/
class LocalHttpServer : private juce::Thread
{
public:
    struct Reply
    {
        int status = 200;
        juce::String body;
        juce::String contentType = "application/rss+xml";
    };

    LocalHttpServer() : juce::Thread ("Local HTTP Server")
    {
        setenv ("no_proxy", "127.0.0.1", 1); // the requests must never leave this machine
        std::signal (SIGPIPE, SIG_IGN); // a client that gave up must not end the test program

        if (!listener.createListener (0, "127.0.0.1"))
            return;

        port = listener.getBoundPort();
        startThread();
    }

    ~LocalHttpServer() override
    {
        signalThreadShouldExit();
        release();
        listener.close();
        stopThread (20000);
    }

    bool isListening() const { return port > 0; }

    void setReply (const Reply& newReply)
    {
        const juce::ScopedLock sl (lock);
        reply = newReply;
    }

    /** Requests are read but not answered until release(). */
    void holdReplies()
    {
        gate.reset();
        holding = true;
    }

    void release()
    {
        holding = false;
        gate.signal();
    }

    juce::URL getURL (const juce::String& path) const
    {
        return juce::URL ("http://127.0.0.1:" + juce::String (port) + path);
    }

    int getRequestCount() const { return requests.load(); }

    /** Waits until a request has been read (a limit that only stops a hanging test). */
    bool waitForRequest (int limitMs = 30000) { return requestRead.wait (limitMs); }

    juce::String getLastRequestLine() const
    {
        const juce::ScopedLock sl (lock);
        return requestLines[requestLines.size() - 1];
    }

    /** The first line of every request so far, in order. */
    juce::StringArray getRequestLines() const
    {
        const juce::ScopedLock sl (lock);
        return requestLines;
    }

    /** Makes this server the web proxy of the process and of the programs it starts, so that requests to
        any other host (the program's update feed and store lookup) end here instead of leaving the machine.
        Requests to 127.0.0.1 itself still go straight to their server.
    */
    void routeWebRequestsHere() const
    {
        const auto proxy = "http://127.0.0.1:" + juce::String (port);

        for (const auto* name : { "http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY" })
            setenv (name, proxy.toRawUTF8(), 1);

        setenv ("no_proxy", "127.0.0.1", 1);
        unsetenv ("NO_PROXY");
    }

    /** A port on 127.0.0.1 that nothing listens on. */
    static int closedPort()
    {
        juce::StreamingSocket socket;
        socket.createListener (0, "127.0.0.1");
        const auto unused = socket.getBoundPort();
        socket.close();
        return unused;
    }

private:
    void run() override
    {
        while (!threadShouldExit())
        {
            std::unique_ptr<juce::StreamingSocket> client (listener.waitForNextConnection());

            if (client == nullptr)
                continue;

            const auto request = readHeaders (*client);

            {
                const juce::ScopedLock sl (lock);
                requestLines.add (request.upToFirstOccurrenceOf ("\r\n", false, false));
            }

            ++requests;
            requestRead.signal();

            while (holding && !threadShouldExit())
                gate.wait (50);

            Reply toSend;
            {
                const juce::ScopedLock sl (lock);
                toSend = reply;
            }

            const auto body = toSend.body.toStdString();
            const auto head = "HTTP/1.1 " + juce::String (toSend.status) + " " + reasonFor (toSend.status) + "\r\n"
                              + "Content-Type: " + toSend.contentType + "\r\n" + "Content-Length: "
                              + juce::String ((juce::int64) body.size()) + "\r\n" + "Connection: close\r\n\r\n";

            writeAll (*client, head.toRawUTF8(), (int) head.getNumBytesAsUTF8());
            writeAll (*client, body.data(), (int) body.size());
            client->close();
        }
    }

    static juce::String readHeaders (juce::StreamingSocket& client)
    {
        juce::String received;

        while (!received.contains ("\r\n\r\n") && received.length() < 65536)
        {
            if (client.waitUntilReady (true, 5000) != 1)
                break;

            char buffer[1024];
            const auto numRead = client.read (buffer, (int) sizeof (buffer), false);

            if (numRead <= 0)
                break;

            received += juce::String::fromUTF8 (buffer, numRead);
        }

        return received;
    }

    static void writeAll (juce::StreamingSocket& client, const char* data, int size)
    {
        while (size > 0)
        {
            const auto written = client.write (data, size);

            if (written <= 0)
                return;

            data += written;
            size -= written;
        }
    }

    static juce::String reasonFor (int status)
    {
        switch (status)
        {
            case 200:
                return "OK";
            case 404:
                return "Not Found";
            case 500:
                return "Internal Server Error";
            default:
                return "Status";
        }
    }

    juce::StreamingSocket listener;
    int port = 0;
    juce::CriticalSection lock;
    Reply reply;
    juce::StringArray requestLines;
    std::atomic<int> requests { 0 };
    std::atomic<bool> holding { false };
    juce::WaitableEvent gate { true };
    juce::WaitableEvent requestRead;
};

} // namespace tavlin::test
