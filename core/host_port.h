// Server addresses as the player, servers.txt and game servers give them:
// "host", "host:port" or "[IPv6]:port". One reading for everything that
// looks at an address: the check of where a server may send the client and
// the connect itself see the same host text.
#pragma once

#include <cstddef>

enum {
    HOST_TEXT_BYTES = 256,   // a host's text with its NUL
    HOST_NAME = 0,           // a host name, looked up
    HOST_IPV4 = 1,           // a dotted IPv4 address
    HOST_IPV6 = 2            // an IPv6 address (given in brackets)
};

// What parse_host_port found wrong.
enum { HOST_PARSED = 0, HOST_BAD_HOST = 1, HOST_BAD_PORT = 2 };

struct HostPort {
    char host[HOST_TEXT_BYTES];   // the text that is resolved; an IPv6 address without brackets
    int port;
    int kind;                     // HOST_NAME, HOST_IPV4 or HOST_IPV6
};

// Reads an address. Accepted: a plain host name (dot-separated labels of
// letters, digits and inner hyphens, 253 characters at most, not a number
// in any of the forms an address look-up would read as one), a dotted IPv4
// address in its plain form (four decimal parts 0..255, no leading zeros),
// each with an optional ":port"; or a bracketed IPv6 address directly
// followed by ":port". A port is 1..65535 in decimal digits only; without
// one the port is default_port. Anything else (blanks, a second colon,
// text after the brackets) is refused. HOST_PARSED, HOST_BAD_HOST or
// HOST_BAD_PORT; out is written only when parsed.
int parse_host_port(const char *address, int default_port, HostPort *out);

// "host:port", or "[host]:port" for an IPv6 address, into out (size
// bytes); 0 when it fits, -1 when not.
int host_port_text(const char *host, int port, char *out, size_t size);
