#include "core/host_port.h"

#include <cstdio>
#include <cstring>

static int is_digit(char c) { return c >= '0' && c <= '9'; }

static int is_hex(char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

static int is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Four decimal parts 0..255 without leading zeros, nothing else.
static int plain_ipv4(const char *s, size_t n)
{
    size_t i = 0;
    for (int part = 0; part < 4; part++) {
        if (part > 0) {
            if (i >= n || s[i] != '.')
                return 0;
            i++;
        }
        size_t start = i;
        int value = 0;
        while (i < n && is_digit(s[i]) && i - start < 3)
            value = value * 10 + (s[i++] - '0');
        size_t digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && s[start] == '0'))
            return 0;
    }
    return i == n;
}

// Groups of one to four hex digits between colons, one "::" at most for a
// run of zero groups, and optionally a dotted IPv4 address for the last two.
static int plain_ipv6(const char *s, size_t n)
{
    if (n < 2)
        return 0;
    size_t i = 0;
    int groups = 0, gap = 0;
    if (s[0] == ':') {
        if (s[1] != ':')
            return 0;
        gap = 1;
        i = 2;
        if (i == n)
            return 1;
    }
    for (;;) {
        size_t end = i;
        while (end < n && s[end] != ':')
            end++;
        if (memchr(s + i, '.', end - i)) {
            // The embedded IPv4 address ends the text.
            if (end != n || !plain_ipv4(s + i, end - i))
                return 0;
            groups += 2;
            break;
        }
        if (end == i || end - i > 4)
            return 0;
        for (size_t k = i; k < end; k++)
            if (!is_hex(s[k]))
                return 0;
        groups++;
        if (end == n)
            break;
        if (end + 1 < n && s[end + 1] == ':') {
            if (gap)
                return 0;
            gap = 1;
            i = end + 2;
            if (i == n)
                break;
        } else {
            i = end + 1;
            if (i == n)
                return 0;   // a colon at the end
        }
        if (groups > 8)
            return 0;
    }
    return gap ? groups <= 7 : groups == 8;
}

// A label an address look-up reads as a number: decimal or octal digits,
// or "0x" and hex digits.
static int numeric_label(const char *s, size_t n)
{
    if (n >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        for (size_t k = 2; k < n; k++)
            if (!is_hex(s[k]))
                return 0;
        return 1;
    }
    for (size_t k = 0; k < n; k++)
        if (!is_digit(s[k]))
            return 0;
    return n > 0;
}

// Dot-separated labels of 1..63 letters, digits and inner hyphens, 253
// characters at most; a name made only of number-like labels is refused
// (the look-up would take it for an address in a shorthand form).
static int plain_host_name(const char *s, size_t n)
{
    if (n == 0 || n > 253)
        return 0;
    int all_numeric = 1;
    size_t i = 0;
    while (i <= n) {
        size_t end = i;
        while (end < n && s[end] != '.')
            end++;
        size_t length = end - i;
        if (length == 0 || length > 63 || s[i] == '-' || s[end - 1] == '-')
            return 0;
        for (size_t k = i; k < end; k++)
            if (!is_letter(s[k]) && !is_digit(s[k]) && s[k] != '-')
                return 0;
        if (!numeric_label(s + i, length))
            all_numeric = 0;
        i = end + 1;
    }
    return !all_numeric;
}

// Decimal digits only, 1..65535.
static int read_port(const char *s, int *port)
{
    long value = 0;
    size_t n = strlen(s);
    if (n == 0 || n > 5)
        return 0;
    for (size_t k = 0; k < n; k++) {
        if (!is_digit(s[k]))
            return 0;
        value = value * 10 + (s[k] - '0');
    }
    if (value < 1 || value > 65535)
        return 0;
    *port = (int)value;
    return 1;
}

int parse_host_port(const char *address, int default_port, HostPort *out)
{
    if (!address || !out)
        return HOST_BAD_HOST;
    const char *host = address;
    size_t host_length = 0;
    const char *port_text = nullptr;
    int kind = HOST_NAME;

    if (address[0] == '[') {
        const char *close = strchr(address, ']');
        if (!close)
            return HOST_BAD_HOST;
        host = address + 1;
        host_length = (size_t)(close - host);
        if (!plain_ipv6(host, host_length))
            return HOST_BAD_HOST;
        if (close[1] != ':')
            return close[1] == '\0' ? HOST_BAD_PORT : HOST_BAD_HOST;
        port_text = close + 2;
        kind = HOST_IPV6;
    } else {
        const char *colon = strchr(address, ':');
        if (colon && strchr(colon + 1, ':'))
            return HOST_BAD_HOST;   // an IPv6 address goes in brackets
        host_length = colon ? (size_t)(colon - address) : strlen(address);
        port_text = colon ? colon + 1 : nullptr;
        if (plain_ipv4(host, host_length))
            kind = HOST_IPV4;
        else if (!plain_host_name(host, host_length))
            return HOST_BAD_HOST;
    }
    if (host_length >= HOST_TEXT_BYTES)
        return HOST_BAD_HOST;
    int port = default_port;
    if (port_text && !read_port(port_text, &port))
        return HOST_BAD_PORT;
    memcpy(out->host, host, host_length);
    out->host[host_length] = '\0';
    out->port = port;
    out->kind = kind;
    return HOST_PARSED;
}

int host_port_text(const char *host, int port, char *out, size_t size)
{
    if (!host || !out || size == 0)
        return -1;
    int n = strchr(host, ':') ? snprintf(out, size, "[%s]:%i", host, port)
                              : snprintf(out, size, "%s:%i", host, port);
    return n >= 0 && (size_t)n < size ? 0 : -1;
}
