// Reading server addresses: what is taken, and what is refused.
#include <gtest/gtest.h>

#include <string>

#include "core/host_port.h"

TEST(HostPort, TableOfAddresses)
{
    struct Case {
        std::string address;
        int result;
        const char *host;
        int port;
        int kind;
    };
    const Case cases[] = {
        {"127.0.0.1:20185", HOST_PARSED, "127.0.0.1", 20185, HOST_IPV4},
        {"127.0.0.1", HOST_PARSED, "127.0.0.1", 20184, HOST_IPV4},
        {"localhost", HOST_PARSED, "localhost", 20184, HOST_NAME},
        {"game-1.example.org:7", HOST_PARSED, "game-1.example.org", 7, HOST_NAME},
        {"[::1]:20185", HOST_PARSED, "::1", 20185, HOST_IPV6},
        {"[2001:db8::ff00:42:8329]:1", HOST_PARSED, "2001:db8::ff00:42:8329", 1, HOST_IPV6},
        {"[::ffff:192.0.2.1]:80", HOST_PARSED, "::ffff:192.0.2.1", 80, HOST_IPV6},
        {"[1:2:3:4:5:6:7:8]:80", HOST_PARSED, "1:2:3:4:5:6:7:8", 80, HOST_IPV6},
        // What a redirect may not smuggle past the check.
        {"[127.0.0.1]evil.test:20185", HOST_BAD_HOST},
        {"[127.0.0.1]:20185", HOST_BAD_HOST},
        {"[::1]evil.test:20185", HOST_BAD_HOST},
        {"[::1]", HOST_BAD_PORT},
        {"[::1]:", HOST_BAD_PORT},
        {"[::1", HOST_BAD_HOST},
        {"::1:20185", HOST_BAD_HOST},
        {"[1:2:3:4:5:6:7:8:9]:80", HOST_BAD_HOST},
        {"[1::2::3]:80", HOST_BAD_HOST},
        {"[fe80::1%eth0]:80", HOST_BAD_HOST},
        {"evil test:20185", HOST_BAD_HOST},
        {" localhost:20185", HOST_BAD_HOST},
        {"host_name:20185", HOST_BAD_HOST},
        {"host.:20185", HOST_BAD_HOST},
        {".host:20185", HOST_BAD_HOST},
        {"-host:20185", HOST_BAD_HOST},
        {"a..b:20185", HOST_BAD_HOST},
        {std::string(64, 'a') + ".test", HOST_BAD_HOST},
        {std::string(300, 'h') + ":20", HOST_BAD_HOST},
        {"127.1:20185", HOST_BAD_HOST},
        {"0x7f000001:20185", HOST_BAD_HOST},
        {"2130706433", HOST_BAD_HOST},
        {"010.0.0.1", HOST_BAD_HOST},
        {"256.0.0.1", HOST_BAD_HOST},
        {"1.2.3.4.5", HOST_BAD_HOST},
        {"", HOST_BAD_HOST},
        {":20185", HOST_BAD_HOST},
        {"127.0.0.1:", HOST_BAD_PORT},
        {"127.0.0.1:0", HOST_BAD_PORT},
        {"127.0.0.1:65536", HOST_BAD_PORT},
        {"127.0.0.1:-5", HOST_BAD_PORT},
        {"127.0.0.1:+5", HOST_BAD_PORT},
        {"127.0.0.1:20185x", HOST_BAD_PORT},
        {"127.0.0.1:20185 ", HOST_BAD_PORT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.address.substr(0, 60));
        HostPort out = {"unchanged", 99, 99};
        EXPECT_EQ(parse_host_port(c.address.c_str(), 20184, &out), c.result);
        if (c.result != HOST_PARSED) {
            EXPECT_STREQ(out.host, "unchanged");
            continue;
        }
        EXPECT_STREQ(out.host, c.host);
        EXPECT_EQ(out.port, c.port);
        EXPECT_EQ(out.kind, c.kind);
    }
}

TEST(HostPort, TextPutsIpv6InBrackets)
{
    char text[64];
    ASSERT_EQ(host_port_text("::1", 20185, text, sizeof text), 0);
    EXPECT_STREQ(text, "[::1]:20185");
    ASSERT_EQ(host_port_text("127.0.0.1", 7, text, sizeof text), 0);
    EXPECT_STREQ(text, "127.0.0.1:7");
    EXPECT_EQ(host_port_text("127.0.0.1", 7, text, 5), -1);
}
