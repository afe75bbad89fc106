// Which addresses may go to the browser, as a table.
#include <gtest/gtest.h>

#include "core/web_address.h"

TEST(WebAddress, OnlyHttpAndHttpsAddressesOfPrintableAsciiAreWebAddresses) {
    struct Case {
        const char* address;
        bool web;
    } cases[] = {
        {"http://z.example/", true},
        {"https://z.example/login?c=AB", true},
        {"HTTPS://Z.EXAMPLE/", true},
        {"hTTp://z.example/", true},
        {"http://", true},
        {"http", false},
        {"http:/z.example", false},
        {"http.exe", false},
        {"httpx://z.example/", false},
        {"https:z.example", false},
        {"https//z.example", false},
        {" https://z.example/", false},
        {"file:///C:/Windows/System32/calc.exe", false},
        {"C:\\Windows\\System32\\calc.exe", false},
        {"\\\\host\\share\\x.exe", false},
        {"mailto:a@b.example", false},
        {"javascript:alert(1)", false},
        {"ftp://z.example/", false},
        {"", false},
        // After the scheme only printable ASCII without blanks or quotes.
        {"https://z.example/login?c=AB-12&x=%20", true},
        {"https://z.example/ C:\\Windows\\calc.exe", false},
        {"https://z.example/\"--new-window", false},
        {"https://z.example/'x", false},
        {"https://z.example/\tx", false},
        {"https://z.example/\x7f", false},
        {"https://z.\xe9xample/", false},
    };
    for (const Case& c : cases) EXPECT_EQ(is_web_address(c.address), c.web) << c.address;
}
