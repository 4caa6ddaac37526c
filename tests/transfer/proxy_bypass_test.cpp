// Windows' Internet settings as text: the proxy lists a manual setting or a
// PAC file gives, and the bypass list beside a manual proxy.

#include "transfer/proxy_bypass.h"

#include <gtest/gtest.h>

namespace {

TEST(ProxyBypassTest, ManualListsGiveTheEntryForTheScheme) {
    EXPECT_EQ(ProxyFromList("proxy.corp:8080", "http"), "http://proxy.corp:8080");
    EXPECT_EQ(ProxyFromList("proxy.corp:8080", "https"), "http://proxy.corp:8080");
    EXPECT_EQ(ProxyFromList("  http://Proxy.Corp:3128/ ", "http"), "http://Proxy.Corp:3128");
    // Windows takes a proxy without a port at 80, not libcurl's 1080.
    EXPECT_EQ(ProxyFromList("proxy.corp", "http"), "http://proxy.corp:80");
    EXPECT_EQ(ProxyFromList("[::1]:8080", "http"), "http://[::1]:8080");

    const std::string perScheme = "ftp=f:21;http=h:80;HTTPS=s:443;socks=k:1080";
    EXPECT_EQ(ProxyFromList(perScheme, "http"), "http://h:80");
    EXPECT_EQ(ProxyFromList(perScheme, "https"), "http://s:443");
    EXPECT_EQ(ProxyFromList("http=h:81 https=s:444", "https"), "http://s:444");
    // Only other schemes named: this one goes direct.
    EXPECT_EQ(ProxyFromList("https=s:443", "http"), "");
    // A plain entry serves the schemes not named.
    EXPECT_EQ(ProxyFromList("https=s:443;plain:8000", "http"), "http://plain:8000");
}

TEST(ProxyBypassTest, PacAnswersGiveTheFirstUsableProxy) {
    EXPECT_EQ(ProxyFromList("a:1; b:2", "http"), "http://a:1");
    EXPECT_EQ(ProxyFromList("a:1 b:2", "http"), "http://a:1");
    EXPECT_EQ(ProxyFromList("PROXY a:1; PROXY b:2", "http"), "http://a:1");
    EXPECT_EQ(ProxyFromList("proxy a:1;DIRECT", "https"), "http://a:1");
    EXPECT_EQ(ProxyFromList("SOCKS s:1080; PROXY b:2", "http"), "http://b:2");
    EXPECT_EQ(ProxyFromList("DIRECT", "http"), "");
    EXPECT_EQ(ProxyFromList("direct; PROXY a:1", "http"), "");
    EXPECT_EQ(ProxyFromList("SOCKS5 s:1080", "http"), "");
}

TEST(ProxyBypassTest, GarbageGivesNone) {
    for (const char* list : {"", " ; ;; ", "PROXY", "PROXY ;", ":", "host:", "host:0", "host:65536",
                             "host:80x", "a b:c:d", "socks5://s:1080", "[::1", "[zz]:80",
                             "http=", "=a:1", "h\xC3\xA9:80", "*", "a:1\xFF"}) {
        const std::string proxy = ProxyFromList(list, "http");
        EXPECT_TRUE(proxy.empty() || proxy.rfind("http://", 0) == 0) << list;
    }
    EXPECT_EQ(ProxyFromList("host:65536", "http"), "");
    EXPECT_EQ(ProxyFromList("socks5://s:1080", "http"), "");
    EXPECT_EQ(ProxyFromList("=a:1", "http"), "");
    EXPECT_EQ(ProxyFromList("h\xC3\xA9:80", "http"), "");

    for (const char* url : {"", "://", "nohost", "http://", "http://:80/", "http://h:99999/",
                            "http://[::1", "http://user@/"}) {
        EXPECT_FALSE(BypassesProxy(url, "*;<local>")) << url;
        EXPECT_EQ(ProxyForUrl(url, "a:1", ""), "") << url;
    }
    EXPECT_FALSE(BypassesProxy("http://host/", ""));
    EXPECT_FALSE(BypassesProxy("http://host.example/", " ;;: [ ]:: <"));
}

TEST(ProxyBypassTest, LocalMeansNamesWithoutADot) {
    EXPECT_TRUE(BypassesProxy("http://intranet/file", "<local>"));
    EXPECT_TRUE(BypassesProxy("https://user:pw@Intranet:8443/", "<LOCAL>"));
    EXPECT_FALSE(BypassesProxy("http://intranet.corp/", "<local>"));
    EXPECT_FALSE(BypassesProxy("http://127.0.0.1/", "<local>"));
    EXPECT_FALSE(BypassesProxy("http://[::1]/", "<local>"));
}

TEST(ProxyBypassTest, WildcardsMatchWithoutCase) {
    const std::string list = "*.corp.example; 10.*\t192.168.1.5;Exact.Example";
    EXPECT_TRUE(BypassesProxy("http://files.CORP.example/x", list));
    EXPECT_TRUE(BypassesProxy("http://a.b.corp.example/", list));
    EXPECT_FALSE(BypassesProxy("http://corp.example/", list));
    EXPECT_FALSE(BypassesProxy("http://evilcorp.example/", list));
    EXPECT_TRUE(BypassesProxy("http://10.1.2.3/", list));
    EXPECT_FALSE(BypassesProxy("http://110.1.2.3/", list));
    EXPECT_TRUE(BypassesProxy("http://192.168.1.5:8080/", list));
    EXPECT_TRUE(BypassesProxy("http://exact.example/", list));
    EXPECT_FALSE(BypassesProxy("http://www.exact.example/", list));
    EXPECT_TRUE(BypassesProxy("http://host.example/?q=1", "*"));
    EXPECT_TRUE(BypassesProxy("http://download.velmora.example/", "d*.*.ex*e"));
    EXPECT_FALSE(BypassesProxy("http://download.velmora.example/", "d*.*.ex*x"));
}

TEST(ProxyBypassTest, AnEntrysSchemeAndPortMustMatchToo) {
    EXPECT_TRUE(BypassesProxy("http://host.example:8080/", "host.example:8080"));
    EXPECT_FALSE(BypassesProxy("http://host.example:9090/", "host.example:8080"));
    EXPECT_TRUE(BypassesProxy("http://host.example/", "host.example:80"));
    EXPECT_TRUE(BypassesProxy("https://host.example/", "*.example:443"));
    EXPECT_FALSE(BypassesProxy("http://host.example/", "*.example:443"));
    EXPECT_TRUE(BypassesProxy("https://[::1]:8443/", "[::1]:8443"));
    EXPECT_TRUE(BypassesProxy("http://[::1]/", "[::1]"));
    EXPECT_TRUE(BypassesProxy("http://host.example/", "http://host.example"));
    EXPECT_FALSE(BypassesProxy("https://host.example/", "http://host.example"));
    EXPECT_TRUE(BypassesProxy("https://host.example/", "HTTPS://*.EXAMPLE/"));
}

TEST(ProxyBypassTest, TheProxyForAUrlHonoursTheBypassList) {
    const std::string list = "http=h:3128;https=s:3129";
    EXPECT_EQ(ProxyForUrl("http://download.example/a", list, "<local>"), "http://h:3128");
    EXPECT_EQ(ProxyForUrl("HTTPS://download.example/a", list, "<local>"), "http://s:3129");
    EXPECT_EQ(ProxyForUrl("http://intranet/a", list, "<local>"), "");
    EXPECT_EQ(ProxyForUrl("http://download.example/a", "DIRECT", ""), "");
}

}  // namespace
