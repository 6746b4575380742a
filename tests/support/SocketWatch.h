#pragma once

// Watches every socket connection and every name lookup of a test program. Include it in exactly one file of
// the program: it defines the C library's connect() and getaddrinfo() for the whole process (libcurl, the
// framework's sockets and the test itself), notes each call and hands it on to the C library.

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <mutex>
#include <string>
#include <vector>

namespace tavlin::test
{

class SocketWatch
{
public:
    /** "inet 127.0.0.1:8080", "inet6 [::1]:80", "unix /tmp/.X11-unix/X99" or "family 17". */
    static std::vector<std::string> connections() { return copy (instance().connected); }

    /** The host names given to getaddrinfo(), in order. */
    static std::vector<std::string> lookups() { return copy (instance().looked); }

    /** Connections that leave this machine: anything but the loopback addresses and local sockets. */
    static std::vector<std::string> offMachineConnections()
    {
        std::vector<std::string> found;

        for (auto& c : connections())
            if (c.rfind ("unix ", 0) != 0 && c.rfind ("inet 127.", 0) != 0 && c.rfind ("inet6 [::1]", 0) != 0)
                found.push_back (c);

        return found;
    }

    /** Lookups of any name but the loopback ones. */
    static std::vector<std::string> offMachineLookups()
    {
        std::vector<std::string> found;

        for (auto& name : lookups())
            if (name != "127.0.0.1" && name != "localhost" && name != "::1")
                found.push_back (name);

        return found;
    }

    static void clear()
    {
        auto& w = instance();
        const std::lock_guard<std::mutex> sl (w.lock);
        w.connected.clear();
        w.looked.clear();
    }

    static void noteConnection (const sockaddr* address, socklen_t length)
    {
        auto& w = instance();
        const std::lock_guard<std::mutex> sl (w.lock);
        w.connected.push_back (describe (address, length));
    }

    static void noteLookup (const char* name)
    {
        auto& w = instance();
        const std::lock_guard<std::mutex> sl (w.lock);
        w.looked.push_back (name != nullptr ? name : "");
    }

    static std::string join (const std::vector<std::string>& items)
    {
        std::string text;

        for (auto& item : items)
            text += (text.empty() ? "" : ", ") + item;

        return text;
    }

private:
    static SocketWatch& instance()
    {
        static SocketWatch watch;
        return watch;
    }

    static std::vector<std::string> copy (const std::vector<std::string>& items)
    {
        const std::lock_guard<std::mutex> sl (instance().lock);
        return items;
    }

    static std::string describe (const sockaddr* address, socklen_t length)
    {
        if (address == nullptr || length < (socklen_t) sizeof (sa_family_t))
            return "none";

        char text[INET6_ADDRSTRLEN] = {};

        switch (address->sa_family)
        {
            case AF_INET:
            {
                const auto* in = reinterpret_cast<const sockaddr_in*> (address);
                inet_ntop (AF_INET, &in->sin_addr, text, sizeof (text));
                return std::string ("inet ") + text + ":" + std::to_string (ntohs (in->sin_port));
            }
            case AF_INET6:
            {
                const auto* in6 = reinterpret_cast<const sockaddr_in6*> (address);
                inet_ntop (AF_INET6, &in6->sin6_addr, text, sizeof (text));
                return std::string ("inet6 [") + text + "]:" + std::to_string (ntohs (in6->sin6_port));
            }
            case AF_UNIX:
                return std::string ("unix ") + reinterpret_cast<const sockaddr_un*> (address)->sun_path;
            default:
                return "family " + std::to_string (address->sa_family);
        }
    }

    std::mutex lock;
    std::vector<std::string> connected, looked;
};

} // namespace tavlin::test

extern "C" int connect (int fd, const struct sockaddr* address, socklen_t length)
{
    using Connect = int (*) (int, const struct sockaddr*, socklen_t);
    static const auto next = reinterpret_cast<Connect> (dlsym (RTLD_NEXT, "connect"));
    tavlin::test::SocketWatch::noteConnection (address, length);
    return next (fd, address, length);
}

extern "C" int getaddrinfo (const char* name, const char* service, const struct addrinfo* hints,
                            struct addrinfo** result)
{
    using Lookup = int (*) (const char*, const char*, const struct addrinfo*, struct addrinfo**);
    static const auto next = reinterpret_cast<Lookup> (dlsym (RTLD_NEXT, "getaddrinfo"));
    tavlin::test::SocketWatch::noteLookup (name);
    return next (name, service, hints, result);
}
