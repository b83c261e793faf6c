#include "idctl.h"

#include "batch_file.h"
#include "checked_change.h"
#include "oplog.h"
#include "qt_clock.h"
#include "scan.h"
#include "serial_lib.h"

#include <QDateTime>
#include <charconv>
#include <csignal>
#include <fstream>
#include <iterator>
#include <optional>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace qrv::cli {

namespace {

const char* const usage_text =
    "用法：\n"
    "  qrv-idctl read   --port P --baud B --id X\n"
    "  qrv-idctl change --port P --baud B --from X --to Y [--force] [--no-verify]\n"
    "  qrv-idctl batch  --port P --baud B FILE [--keep-going] [--force] [--no-verify]\n"
    "  qrv-idctl scan   --port P [--baud B | --baud all] [--ids A-B] [--first]\n"
    "选项：\n"
    "  --port P      串口号（同窗口的编号，1~255）或设备路径\n"
    "  --baud B      9600、19200、38400、57600、115200 或 230400；扫描时可为 all（默认）\n"
    "  --ids A-B     扫描的地址范围（默认1-247）\n"
    "  --first       扫描到第一台设备即停止；Ctrl-C 随时停止并输出已找到的\n"
    "  --timeout MS  读寄存器时等待应答的毫秒数（默认100加应答在线上的时间）\n"
    "  --force       不先检查新ID是否空闲\n"
    "  --no-verify   更改成功后不在新ID读回确认\n"
    "  --keep-going  批量更改中某行失败后继续\n"
    "  --json        每个结果输出一行JSON\n"
    "  --verbose     在标准错误输出每个收发的帧及时间\n"
    "退出码：0 完成并确认（扫描：至少找到一台设备）；1 设备未更改或未确认（扫描：未找到）；"
    "2 用法或文件错误；3 串口无法打开或设置；4 新ID已被占用\n";

struct Options {
    std::string command, port, file;
    std::int32_t baud = 0; // 0 for a scan: every speed
    std::uint8_t id = 0, from = 0, to = 0, first_id = 1, last_id = 247;
    int timeout_ms = -1;
    bool force = false, no_verify = false, keep_going = false, json = false, verbose = false,
         first = false;
};

bool parse_number(const std::string& text, int lo, int hi, int& out)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc{} && end == text.data() + text.size() && out >= lo &&
           out <= hi;
}

// Nothing when the command line is one the commands take, else why not.
std::optional<std::string> parse_options(const std::vector<std::string>& args, Options& opt)
{
    if (args.empty())
        return "缺少命令";
    opt.command = args[0];
    if (opt.command != "read" && opt.command != "change" && opt.command != "batch" &&
        opt.command != "scan")
        return "未知命令：" + opt.command;
    bool have_id = false, have_from = false, have_to = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i], value;
        const auto eq = name.find('=');
        const bool inline_value = name.starts_with("--") && eq != std::string::npos;
        if (inline_value) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto take = [&] {
            if (inline_value)
                return true;
            if (i + 1 >= args.size())
                return false;
            value = args[++i];
            return true;
        };
        const auto flag = [&](bool& target) {
            target = true;
            return !inline_value;
        };
        const auto id = [&](std::uint8_t& target, bool& seen) {
            seen = take() && parse_id(value, target);
            return seen;
        };
        int number = 0;
        bool ok = true;
        if (name == "--port")
            ok = take() && !(opt.port = value).empty();
        else if (name == "--baud") {
            // One of the window's speeds; a scan may try them all.
            ok = take() && (value == "all" ? opt.command == "scan"
                                           : parse_number(value, 1, 1'000'000, number) &&
                                                 std::ranges::find(scan_bauds(), number) !=
                                                     scan_bauds().end());
            opt.baud = number;
        } else if (name == "--ids" && opt.command == "scan") {
            const auto dash = take() ? value.find('-') : std::string::npos;
            ok = dash != std::string::npos && parse_id(value.substr(0, dash), opt.first_id) &&
                 parse_id(value.substr(dash + 1), opt.last_id) && opt.first_id <= opt.last_id;
        } else if (name == "--id")
            ok = id(opt.id, have_id);
        else if (name == "--from")
            ok = id(opt.from, have_from);
        else if (name == "--to")
            ok = id(opt.to, have_to);
        else if (name == "--timeout")
            ok = take() && parse_number(value, 1, 60'000, opt.timeout_ms);
        else if (name == "--force" || name == "--no-verify" || name == "--keep-going" ||
                 name == "--json" || name == "--verbose" || name == "--first")
            ok = flag(name == "--force"        ? opt.force
                      : name == "--no-verify"  ? opt.no_verify
                      : name == "--keep-going" ? opt.keep_going
                      : name == "--json"       ? opt.json
                      : name == "--first"      ? opt.first
                                               : opt.verbose);
        else if (opt.command == "batch" && opt.file.empty() && !name.starts_with("-"))
            opt.file = name;
        else
            return "未知选项：" + args[i];
        if (!ok)
            return "选项 " + name + " 的值无效：" + value;
    }
    if (opt.port.empty() || (opt.baud == 0 && opt.command != "scan"))
        return "需要 --port 和 --baud";
    if (opt.command == "read" && !have_id)
        return "read 需要 --id（1~247的整数）";
    if (opt.command == "change" && (!have_from || !have_to))
        return "change 需要 --from 和 --to（1~247的整数）";
    if (opt.command == "change" && opt.from == opt.to)
        return "新ID与原ID相同";
    if (opt.command == "batch" && opt.file.empty())
        return "batch 需要文件名";
    if (opt.timeout_ms < 0 && opt.command != "scan")
        opt.timeout_ms = default_read_timeout_ms(opt.baud);
    return std::nullopt;
}

std::string json_text(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += {'\\', static_cast<char>(c)};
        else if (c < 0x20)
            out +=
                "\\u00" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

std::string read_text(const ReadReply& r)
{
    switch (r.kind) {
    case ReadReply::Kind::value:
        return "寄存器10 = " + std::to_string(r.value);
    case ReadReply::Kind::exception:
        return "异常应答，异常码 " + std::to_string(r.code);
    case ReadReply::Kind::other_address:
        return "收到来自ID " + std::to_string(r.from) + " 的应答";
    case ReadReply::Kind::bad_crc:
        return "应答CRC错误";
    case ReadReply::Kind::garbled:
        return "应答无法识别";
    case ReadReply::Kind::truncated:
        return "应答不完整";
    case ReadReply::Kind::none:
        break;
    }
    return "无应答";
}

const char* read_result(const ReadReply& r)
{
    // In the order of ReadReply::Kind.
    static const char* const names[] = {"value",   "exception", "other_address", "bad_crc",
                                        "garbled", "truncated", "none"};
    return names[static_cast<int>(r.kind)];
}

// The value of a normal reply as a JSON member, with its comma.
std::string value_json(const ReadReply& r)
{
    return r.kind == ReadReply::Kind::value ? ",\"value\":" + std::to_string(r.value) : "";
}

// The serial library, with every frame sent and received shown on err.
class TracingSerial : public SerialApi {
public:
    TracingSerial(SerialApi& lib, std::FILE* err) : m_lib(lib), m_err(err) {}
    int sio_open(int port) override { return m_lib.sio_open(port); }
    int sio_baud(int port, std::int32_t baud) override { return m_lib.sio_baud(port, baud); }
    int sio_close(int port) override { return m_lib.sio_close(port); }
    int sio_write(int port, const std::uint8_t* buf, int len) override
    {
        trace("TX", buf, len);
        return m_lib.sio_write(port, buf, len);
    }
    int sio_iqueue(int port) override { return m_lib.sio_iqueue(port); }
    int sio_read(int port, std::uint8_t* buf, int len) override
    {
        const int n = m_lib.sio_read(port, buf, len);
        trace("RX", buf, n);
        return n;
    }
    int sio_flush(int port) override { return m_lib.sio_flush(port); }
    int sio_wait_input(int port, int ms) override { return m_lib.sio_wait_input(port, ms); }

private:
    void trace(const char* what, const std::uint8_t* buf, int len)
    {
        if (m_err && len > 0)
            std::fprintf(m_err, "%s %s %s\n",
                         qPrintable(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"))),
                         what, hex_bytes({buf, static_cast<std::size_t>(len)}).c_str());
    }
    SerialApi& m_lib;
    std::FILE* m_err;
};

// The window's message boxes: here the result line says all they would.
struct NoMessageBoxes : MessageSink {
    void show_message(const std::string&) override {}
};

class Session {
public:
    Session(const Options& opt, const std::string& folder, std::FILE* out, std::FILE* err)
        : m_opt(opt), m_folder(folder), m_out(out), m_err(err), m_lib(folder),
          m_serial(m_lib, opt.verbose ? err : nullptr)
    {
    }

    int run()
    {
        BatchFile batch;
        if (m_opt.command == "batch") {
            std::string bytes;
            if (!read_batch(bytes))
                return exit_usage;
            batch = parse_batch(bytes);
            for (const auto& e : batch.errors)
                std::fprintf(m_err, "qrv-idctl: %s: %s\n", m_opt.file.c_str(), e.c_str());
            if (!batch.errors.empty()) {
                std::fprintf(m_err, "qrv-idctl: 文件有误，未发送任何命令\n");
                return exit_usage;
            }
        }
        if (const int status = open_port(); status != exit_ok)
            return status;
        if (m_opt.command == "read")
            return read();
        if (m_opt.command == "change")
            return change(0, m_opt.from, m_opt.to).first;
        if (m_opt.command == "scan")
            return run_scan();
        return run_batch(batch);
    }

private:
    bool read_batch(std::string& bytes)
    {
        std::ifstream in(m_opt.file, std::ios::binary);
        if (in)
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (!in && !in.eof()) {
            std::fprintf(m_err, "qrv-idctl: 无法读取文件：%s\n", m_opt.file.c_str());
            return false;
        }
        if (bytes.size() > max_batch_bytes) {
            std::fprintf(m_err, "qrv-idctl: 文件过大（超过1 MiB）：%s\n", m_opt.file.c_str());
            return false;
        }
        return true;
    }

    int open_port()
    {
        int number = 0;
        const bool numbered = parse_number(m_opt.port, 1, 255, number);
        m_port = numbered ? number : 1;
        if ((numbered ? m_lib.sio_open(m_port) : m_lib.open_device(m_port, m_opt.port)) != sio_ok) {
            std::fprintf(m_err, "qrv-idctl: 串口打开失败，请确认串口号是否正确：%s\n",
                         m_opt.port.c_str());
            return exit_port;
        }
        if (m_opt.baud > 0 && m_lib.sio_baud(m_port, m_opt.baud) != sio_ok) {
            std::fprintf(m_err, "qrv-idctl: 波特率设置失败，请确认串口号是否正确：%d\n",
                         m_opt.baud);
            return exit_port;
        }
        return exit_ok;
    }

    int read()
    {
        OpenPort port{m_serial, m_port, m_clock, m_opt.baud};
        const ReadReply r = exchange_read(port, m_opt.id, m_opt.timeout_ms);
        if (m_opt.json)
            std::fprintf(
                m_out, "{\"command\":\"read\",\"id\":%d,\"result\":\"%s\"%s,\"text\":%s}\n",
                m_opt.id, read_result(r), value_json(r).c_str(), json_text(read_text(r)).c_str());
        else
            std::fprintf(m_out, "ID %d：%s\n", m_opt.id, read_text(r).c_str());
        return r.kind == ReadReply::Kind::value ? exit_ok : exit_failed;
    }

    // One checked change; its exit status and its result text.
    std::pair<int, std::string> change(int line, std::uint8_t from, std::uint8_t to)
    {
        using Outcome = CheckedChange::Outcome;
        OpenPort port{m_serial, m_port, m_clock, m_opt.baud};
        LogString log;
        NoMessageBoxes messages;
        const CheckedChange c = checked_change(log, messages, port, m_folder, from, to,
                                               {!m_opt.force, !m_opt.no_verify, m_opt.timeout_ms});
        const std::string ids = "ID " + std::to_string(from) + " → " + std::to_string(to) + "：";
        static const char* const names[] = {"confirmed", "unverified", "taken",
                                            "mismatch",  "no_reply",   "unconfirmed"};
        std::string text;
        int status = exit_failed;
        switch (c.outcome) {
        case Outcome::confirmed:
            text = "Modbus 新ID 设置成功，已在ID " + std::to_string(to) + " 读回确认";
            status = exit_ok;
            break;
        case Outcome::unverified:
            text = "Modbus 新ID 设置成功（未读回确认）";
            status = exit_ok;
            break;
        case Outcome::taken:
            text = "新ID " + std::to_string(to) + " 已被占用（" + read_text(c.before) +
                   "），未发送更改命令";
            status = exit_taken;
            break;
        case Outcome::mismatch:
            text = std::string(text_mismatch);
            break;
        case Outcome::no_reply:
            text = std::string(text_no_reply);
            break;
        case Outcome::unconfirmed:
            text = "设备应答了更改，但在ID " + std::to_string(to) + " 读回：" + read_text(c.after) +
                   "，新ID未确认";
            break;
        }
        if (m_opt.json)
            std::fprintf(
                m_out,
                "{\"command\":\"%s\",%s\"from\":%d,\"to\":%d,\"result\":\"%s\",\"exit\":%d,"
                "\"text\":%s}\n",
                m_opt.command.c_str(),
                line ? ("\"line\":" + std::to_string(line) + ",").c_str() : "", from, to,
                names[static_cast<int>(c.outcome)], status, json_text(text).c_str());
        else
            std::fprintf(m_out, "%s%s\n", ids.c_str(), text.c_str());
        return {status, names[static_cast<int>(c.outcome)]};
    }

    int run_batch(const BatchFile& batch)
    {
        const bool progress = isatty(fileno(m_err));
        std::vector<std::string> results(batch.changes.size(), "skipped");
        int status = exit_ok;
        for (std::size_t i = 0; i < batch.changes.size(); ++i) {
            const BatchLine& c = batch.changes[i];
            if (progress)
                std::fprintf(m_err, "[%zu/%zu] 第%d行：ID %d → %d ...\n", i + 1,
                             batch.changes.size(), c.line, c.old_id, c.new_id);
            int done;
            std::tie(done, results[i]) = change(c.line, c.old_id, c.new_id);
            if (done != exit_ok && status == exit_ok)
                status = done;
            if (done != exit_ok && !m_opt.keep_going)
                break;
        }
        if (!m_opt.json) {
            std::fprintf(m_out, "\n%-6s%-8s%-8s%s\n", "line", "old", "new", "result");
            for (std::size_t i = 0; i < batch.changes.size(); ++i)
                std::fprintf(m_out, "%-6d%-8d%-8d%s\n", batch.changes[i].line,
                             batch.changes[i].old_id, batch.changes[i].new_id, results[i].c_str());
        }
        return status;
    }

    int run_scan()
    {
        static volatile std::sig_atomic_t interrupted = 0;
        interrupted = 0;
        const auto previous = std::signal(SIGINT, [](int) { interrupted = 1; });
        const bool progress = isatty(fileno(m_err));
        ScanPlan plan{m_opt.baud ? std::vector{m_opt.baud} : scan_bauds(), m_opt.first_id,
                      m_opt.last_id, std::max(m_opt.timeout_ms, 0), m_opt.first};
        const auto hits = scan(m_serial, m_port, m_clock, plan, [&](const ScanProgress& p) {
            if (progress)
                std::fprintf(m_err, "\r波特率 %-6d 地址 %3d  已找到 %zu  剩余约 %zu s   ", p.baud,
                             p.id, p.devices,
                             (p.total - p.done) * static_cast<std::size_t>(p.timeout_ms + 1) /
                                 1000);
            return !interrupted;
        });
        std::signal(SIGINT, previous);
        if (progress)
            std::fputs("\n", m_err);
        if (interrupted)
            std::fputs("qrv-idctl: 扫描已中断，以下为已找到的\n", m_err);
        std::size_t devices = 0;
        if (!m_opt.json)
            std::fputs("地址  波特率  寄存器10\n", m_out); // CJK characters are two columns wide
        for (const ScanHit& hit : hits) {
            devices += hit.device();
            const std::string text =
                hit.device() ? read_text(hit.reply) : "有应答，但无法识别：" + read_text(hit.reply);
            if (m_opt.json)
                std::fprintf(m_out,
                             "{\"command\":\"scan\",\"id\":%d,\"baud\":%d,\"device\":%s,"
                             "\"result\":\"%s\"%s,\"text\":%s}\n",
                             hit.id, hit.baud, hit.device() ? "true" : "false",
                             read_result(hit.reply), value_json(hit.reply).c_str(),
                             json_text(text).c_str());
            else
                std::fprintf(m_out, "%-6d%-8d%s\n", hit.id, hit.baud, text.c_str());
        }
        if (!m_opt.json)
            std::fprintf(m_out, "找到 %zu 台设备\n", devices);
        return devices > 0 ? exit_ok : exit_failed;
    }

    const Options& m_opt;
    std::string m_folder;
    std::FILE* m_out;
    std::FILE* m_err;
    SerialLib m_lib;
    TracingSerial m_serial;
    QtClock m_clock;
    int m_port = 0;
};

} // namespace

int run(const std::vector<std::string>& args, const std::string& tool_folder, std::FILE* out,
        std::FILE* err)
{
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
        std::fputs(usage_text, out);
        return exit_ok;
    }
    Options opt;
    if (const auto error = parse_options(args, opt)) {
        std::fprintf(err, "qrv-idctl: %s\n%s", error->c_str(), usage_text);
        return exit_usage;
    }
    return Session(opt, tool_folder, out, err).run();
}

} // namespace qrv::cli
