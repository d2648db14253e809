// vqcheck: the core's checks without Qt, so that they run where the Qt test
// suite cannot: cross-built for Windows and run under Wine by
// scripts/windows-check.sh, and natively beside the other tests. Every check
// works in a temporary folder with a Chinese name, so file names go through the
// platform's path encoding (UTF-16 on Windows). Ends with "N passed, N failed";
// the exit code is 1 when a check failed.
#include "search/fax_extractor.h"
#include "search/host_lookup.h"
#include "search/link_harvester.h"
#include "tests/support/fax_cases.h"
#include "text/ansi.h"
#include "text/atomic_file.h"
#include "text/errors.h"
#include "text/integer.h"
#include "text/paths.h"
#include "text/text_file.h"
#include "tools/merge.h"
#include "tools/url_generator.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace vq;

namespace {

int g_passed = 0;
int g_failed = 0;

// Bytes as printable ASCII: code page 936 text would not show on every console.
std::string shown(std::string_view bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out + "\"";
}

std::string shown(const std::vector<AnsiString>& lines)
{
    std::string out = "{";
    for (const AnsiString& line : lines)
        out += (out.size() > 1 ? ", " : "") + shown(line);
    return out + "}";
}

void expect(bool ok, const std::string& what)
{
    if (ok) {
        ++g_passed;
        return;
    }
    ++g_failed;
    std::printf("FAIL: %s\n", what.c_str());
}

template <class T>
void expectEqual(const T& actual, const T& expected, const std::string& what)
{
    expect(actual == expected, what + ": got " + shown(actual) + ", expected " + shown(expected));
}

// One check that must not throw; an exception fails it with its message.
void guarded(const std::string& what, const std::function<void()>& check)
{
    try {
        check();
    } catch (const std::exception& e) {
        expect(false, what + ": unexpected exception: " + shown(e.what()));
    }
}

// Runs `f`, which must throw E; returns the message.
template <class E>
std::optional<std::string> thrown(const std::function<void()>& f)
{
    try {
        f();
    } catch (const E& e) {
        return std::string(e.what());
    } catch (...) {
        return std::nullopt;
    }
    return std::nullopt;
}

std::string gbk(const char* utf8)
{
    return utf8ToAnsi(utf8);
}

void writeBytes(const fs::path& file, std::string_view bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + pathToUtf8(file));
}

std::string readBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + pathToUtf8(file));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, sorted: a stray temporary file shows here.
std::vector<AnsiString> namesIn(const fs::path& dir)
{
    std::vector<AnsiString> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(pathToAnsi(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

void checkFaxLines()
{
    const std::vector<AnsiString> markers{gbk("传真："), gbk("FAX："), gbk("传真号：")};
    for (const test::FaxLineCase& c : test::faxLineCases()) {
        guarded(std::string("fax line \"") + c.name + "\"", [&] {
            const std::optional<AnsiString> number = faxNumberFromLine(c.line, markers);
            const std::string what = std::string("fax line \"") + c.name + "\"";
            if (!c.expected)
                expect(!number, what + ": expected nothing, got " + shown(number.value_or("")));
            else
                expectEqual(number.value_or("(nothing)"), std::string(c.expected), what);
        });
    }
}

void checkCodePage()
{
    expectEqual(gbk("传真"), std::string("\xB4\xAB\xD5\xE6"), "UTF-8 to code page 936");
    expectEqual(ansiToUtf8("\xB4\xAB\xD5\xE6"), std::string("传真"), "code page 936 to UTF-8");
    expectEqual(gbk("€"), std::string("\x80"), "the euro sign is one byte");
    expectEqual(gbk("a한b"), std::string("a?b"), "a character without a form becomes ?");
    expect(representableInAnsi("传真：FAX"), "Chinese text is representable");
    expect(!representableInAnsi("한"), "Hangul is not representable");
    expect(!representableInAnsi("\xFF"), "malformed UTF-8 is not representable");
}

void checkIntegers()
{
    const struct {
        const char* text;
        int32_t value;
    } valid[] = {
        {"0", 0}, {"  12", 12}, {"+5", 5}, {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX},
        {"$7FFFFFFF", INT32_MAX}, {"0x10", 16}, {"x1f", 31}, {"-$10", -16}, {"007", 7},
    };
    for (const auto& c : valid) {
        guarded(std::string("strToInt ") + shown(c.text), [&] {
            expect(strToInt(c.text) == c.value, std::string("strToInt ") + shown(c.text));
        });
    }
    const char* const invalid[] = {"", " ", "12 ", "2147483648", "-2147483649", "0x", "$", "1e3", "--1", "\xA3\xB1"};
    for (const char* text : invalid) {
        const std::optional<std::string> message = thrown<EConvertError>([&] { strToInt(text); });
        std::string expected = "'";
        expected += ansiToUtf8(text) + "' is not a valid integer value";
        expectEqual(message.value_or("(no EConvertError)"), expected, "strToInt " + shown(text));
    }
}

void checkTextFiles(const fs::path& dir)
{
    const fs::path file = dir / ansiToPath(gbk("读取.txt"));
    const std::string longLine(200000, 'x');
    const struct {
        const char* name;
        std::string data;
        std::vector<AnsiString> lines;
    } lineByLine[] = {
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"LF", "a\nb\n", {"a", "b"}},
        {"last line without break", "a\r\nb", {"a", "b"}},
        {"lone CR dropped", "a\rb\r\nc", {"ab", "c"}},
        {"CR CR LF", "a\r\r\n", {"a"}},
        {"Ctrl-Z at a line start ends the data", "a\r\n\x1A" "b\r\n", {"a"}},
        {"Ctrl-Z inside a line is kept", "a\x1A" "b\r\n", {"a\x1A" "b"}},
        {"NUL is kept", std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},
        {"code page 936 bytes", "\xB4\xAB\xD5\xE6\r\n", {"\xB4\xAB\xD5\xE6"}},
        {"line longer than the buffer", longLine + "\r\ny", {longLine, "y"}},
    };
    for (const auto& c : lineByLine) {
        guarded(std::string("line by line: ") + c.name, [&] {
            writeBytes(file, c.data);
            expectEqual(readAllLines(file), c.lines, std::string("line by line: ") + c.name);
        });
    }
    guarded("reading past the end", [&] {
        writeBytes(file, "a\r\n\x1A" "zz\r\n");
        TextReader reader(file);
        expectEqual(reader.readLine(), std::string("a"), "line before a Ctrl-Z");
        expect(reader.eof(), "a Ctrl-Z at a line start is the end");
        expectEqual(reader.readLine(), std::string("\x1A"), "reading at a Ctrl-Z");
        reader.close();
    });

    const struct {
        const char* name;
        std::string data;
        std::vector<AnsiString> lines;
    } wholeList[] = {
        {"CR, LF and CR LF", "a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"LF CR gives an empty line", "a\n\rb", {"a", "", "b"}},
        {"a trailing break adds nothing", "a\r\n", {"a"}},
        {"NUL ends the data", std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
        {"Ctrl-Z is data", "\x1A" "a\r\n\x1A", {"\x1A" "a", "\x1A"}},
    };
    for (const auto& c : wholeList) {
        guarded(std::string("whole list: ") + c.name, [&] {
            writeBytes(file, c.data);
            expectEqual(loadList(file), c.lines, std::string("whole list: ") + c.name);
        });
    }

    const fs::path missing = dir / "missing.txt";
    expectEqual(thrown<EInOutError>([&] { TextReader r(missing); }).value_or("(none)"), std::string("File not found"),
                "opening a missing file");
    expectEqual(thrown<EInOutError>([&] { TextReader r(dir); }).value_or("(none)"), std::string("Invalid filename"),
                "opening a folder");
    expectEqual(thrown<EFOpenError>([&] { loadList(missing); }).value_or("(none)"),
                "Cannot open file " + pathToUtf8(missing), "loading a missing list");
}

void checkAtomicWrites(const fs::path& dir)
{
    const fs::path target = dir / ansiToPath(gbk("结果.txt"));
    const std::vector<AnsiString> first{"first", gbk("传真")};
    guarded("atomic write", [&] {
        writeAllLines(target, first);
        expectEqual(readBytes(target), std::string("first\r\n\xB4\xAB\xD5\xE6\r\n"), "written with CR LF");
    });
    guarded("atomic replacement", [&] {
        saveList(target, {"second"});
        expectEqual(readBytes(target), std::string("second\r\n"), "an existing file replaced");
    });
    guarded("replacing a file being read", [&] {
        // POSIX systems replace it and the reader keeps the old file; Windows may
        // refuse while the file is open. Either way there is no half-done state.
        TextReader reader(target);
        const bool refused = thrown<EFCreateError>([&] { saveList(target, {"third"}); }).has_value();
        expectEqual(readBytes(target), std::string(refused ? "second\r\n" : "third\r\n"),
                    "the file is the old or the new one");
        expectEqual(reader.readLine(), std::string("second"), "the open reader reads the old file");
        reader.close();
        saveList(target, {"second"});
    });
    guarded("write without commit", [&] {
        {
            AtomicFile file(target);
            file.write("never committed\r\n");
        }
        expectEqual(readBytes(target), std::string("second\r\n"), "the target is untouched");
    });
    guarded("a failed write", [&] {
        testing::failWritesAfter(100);
        const std::optional<std::string> message =
            thrown<EFCreateError>([&] { saveList(target, std::vector<AnsiString>(1000, "line")); });
        testing::failWritesAfter(-1);
        expectEqual(message.value_or("(none)"), "Cannot create file " + pathToUtf8(target), "disk full while saving");
        expectEqual(readBytes(target), std::string("second\r\n"), "the old file survives a failed write");
    });
    guarded("no temporary file is left", [&] {
        std::vector<AnsiString> expected{gbk("结果.txt"), gbk("读取.txt")};
        std::sort(expected.begin(), expected.end());
        expectEqual(namesIn(dir), expected, "the folder's files");
    });
    guarded("paths", [&] {
        const AnsiString name = gbk("检查\\结果.txt");
        expectEqual(pathToAnsi(ansiToPath(name)), name, "a code page 936 path round trip");
        expect(thrown<EPathEncodingError>([&] { pathToAnsi(utf8ToPath("한.txt")); }).has_value(),
               "a path without a code page 936 form is refused");
    });
}

void checkMerge(const fs::path& dir)
{
    guarded("merge of two files", [&] {
        const fs::path a = dir / "a.txt";
        const fs::path b = dir / "b.txt";
        writeBytes(a, "http://b.example/\r\nABC\r\n" + gbk("传真") + "\r\n");
        writeBytes(b, "abc\nhttp://A.example/\rhttp://b.example/\r\n1x\r\n" + gbk("传真") + "\r\nhttp://a.example/");
        // The output is one of the inputs: every input is read first.
        mergeFiles({a, b}, a, userCollationLocale());
        // Where Chinese sorts among Latin letters depends on the locale (before
        // them in ICU's "zh", after them in Windows' "en-US"); it is there once.
        std::vector<AnsiString> merged = loadList(a);
        const auto chinese = std::count(merged.begin(), merged.end(), gbk("传真"));
        expect(chinese == 1, "the Chinese entry once, got " + std::to_string(chinese));
        merged.erase(std::remove(merged.begin(), merged.end(), gbk("传真")), merged.end());
        expectEqual(merged, std::vector<AnsiString>{"1x", "ABC", "http://A.example/", "http://b.example/"},
                    "merged, sorted, letter case ignored, the first one met kept");
        const std::string bytes = readBytes(a);
        expect(bytes.size() >= 2 && bytes.substr(bytes.size() - 2) == "\r\n", "the merged file ends with CR LF");
    });
}

void checkUrlGenerator(const fs::path& dir)
{
    const fs::path file = dir / "urls.txt";
    guarded("URL generator, one counter", [&] {
        const OneCounterFields f{
            .prefix = "http://bbs.example/list-", .first = "1", .last = "3", .suffix = ".html", .multiplier = "2"};
        expect(generateOneCounter(file, f) == 3, "three lines");
        expectEqual(readBytes(file),
                    std::string("http://bbs.example/list-2.html\r\nhttp://bbs.example/list-4.html\r\n"
                                "http://bbs.example/list-6.html\r\n"),
                    "one counter");
    });
    guarded("URL generator, two counters", [&] {
        const TwoCounterFields f{.front = "http://a.example/", .first = "1", .last = "2", .middle = "-p",
                                 .secondStart = "$A", .back = ".htm"};
        expect(generateTwoCounters(file, f) == 2, "two lines");
        expectEqual(readBytes(file), std::string("http://a.example/1-p10.htm\r\nhttp://a.example/2-p11.htm\r\n"),
                    "two counters");
    });
    guarded("URL generator, a bad number", [&] {
        OneCounterFields f;
        f.last = "1o";
        expect(thrown<EConvertError>([&] { generateOneCounter(file, f); }).has_value(), "a bad last number raises");
        expectEqual(readBytes(file), std::string("http://a.example/1-p10.htm\r\nhttp://a.example/2-p11.htm\r\n"),
                    "the file stays as it was");
    });
}

void checkSystem(const fs::path& dir)
{
    guarded("the program's directory", [&] {
        const fs::path exeDir = executableDirectory();
        expect(!exeDir.empty() && fs::is_directory(exeDir), "the executable's directory is known");
        expect(fs::exists(exeDir / "vqcheck") || fs::exists(exeDir / "vqcheck.exe"), "it holds vqcheck");
        expect(chooseProgramDir(exeDir, dir / "user") == exeDir, "a writable executable directory is used");
        expect(chooseProgramDir(dir / "missing", dir / "user") == dir / "user" && fs::is_directory(dir / "user"),
               "otherwise the per-user directory, created");
    });
    guarded("the connectivity test's address", [&] {
        for (const InterfaceAddress& a : interfaceAddresses())
            expect(!a.address.empty(), "an interface address has text");
        expect(!InterfaceHostLookup().localAddress().empty(), "the host has an address (127.0.0.1 at least)");
    });
    const struct {
        const char* address;
        const char* key;
    } siteKeys[] = {
        {"http://192.168.1.5:8080/x", "192.168.1.5"},
        {"http://user@10.0.0.1/", "10.0.0.1"},
        {"http://[::1]:80/", "[::1]"},
        {"http://1.2.3.04/", "1.2.3.04"},
        {"http://example.com", ""},
    };
    for (const auto& c : siteKeys)
        guarded(c.address, [&] { expectEqual(SiteKey(c.address), std::string(c.key), std::string("site key ") + c.address); });
    // The registrable domain: from the public suffix list with libpsl, the
    // whole host name without it.
    const struct {
        std::string address;
        std::string key;
    } listKeys[] = {
#ifdef VQ_CHECK_PSL
        {"http://w3.abc.com.cn/", "abc.com.cn"},
        {"http://com.cn/", "com.cn"},
        {"http://a.b.github.io/", "b.github.io"},
        {"http://www.example.xn--fiqs8s/", "example.xn--fiqs8s"},
        {gbk("http://www.北京.中国/"), gbk("北京.中国")},
#else
        {"http://w3.abc.com.cn/", "w3.abc.com.cn"},
#endif
    };
    for (const auto& c : listKeys)
        guarded(c.address, [&] { expectEqual(SiteKey(c.address), c.key, "site key " + c.address); });
}

} // namespace

int main()
{
    const auto started = std::chrono::steady_clock::now();
    fs::path dir;
    try {
        const auto stamp = std::chrono::system_clock::now().time_since_epoch().count();
        dir = fs::temp_directory_path() / ansiToPath(gbk("vqcheck-检查-") + std::to_string(stamp));
        fs::create_directories(dir);
    } catch (const std::exception& e) {
        std::printf("FAIL: cannot make a temporary folder: %s\n0 passed, 1 failed\n", e.what());
        return 1;
    }

    checkFaxLines();
    checkCodePage();
    checkIntegers();
    checkTextFiles(dir);
    checkAtomicWrites(dir);
    checkMerge(dir);
    checkUrlGenerator(dir);
    checkSystem(dir);

    std::error_code ec;
    fs::remove_all(dir, ec);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    std::printf("collation locale: %s; %lld ms\n", userCollationLocale().c_str(), static_cast<long long>(ms));
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
