#include "idctl.h"

#include "batch_file.h"
#include "checked_change.h"
#include "oplog.h"
#include "options.h"
#include "report.h"
#include "scan.h"
#include "texts.h"
#include "vocabulary.h"
#include "watched_line.h"

#include <algorithm>

namespace qrv::cli {

namespace {

using Outcome = CheckedChange::Outcome;

int outcome_exit(const CheckedChange& c)
{
    if (c.stopped)
        return exit_interrupted;
    if (c.outcome != Outcome::taken && c.outcome != Outcome::not_run && !c.change.filed())
        return exit_not_filed;
    switch (c.outcome) {
    case Outcome::confirmed:
    case Outcome::unverified:
        return exit_ok;
    case Outcome::taken:
        return exit_taken;
    case Outcome::not_sent:
    case Outcome::port_lost:
        return exit_port;
    default:
        return exit_failed;
    }
}

// What answered a probe, as the scan's table and its JSON say it.
std::string hit_text(const ScanHit& hit)
{
    return hit.device() ? reply_text(hit.reply) : text_unrecognised(hit.reply);
}

// The command line's run once the port is open: every command and what it
// tells.
class Session {
public:
    Session(const Options& opt, const std::string& folder, const Platform& platform, int port,
            std::FILE* out, std::FILE* err)
        : m_opt(opt), m_folder(folder), m_platform(platform), m_out(out), m_err(err),
          m_line(platform.serial, opt.verbose ? err : nullptr),
          m_clock(platform.clock, m_line, port), m_port{m_line, port, m_clock, opt.baud,
                                                        line_guard_ms},
          m_progress(platform.err_is_terminal)
    {
    }

    int run(const BatchFile& batch)
    {
        int status = exit_ok;
        bool stopped = false;
        switch (m_opt.command) {
        case Command::read:
            status = read();
            break;
        case Command::change:
            status = change(0, m_opt.from, m_opt.to, stopped).exit;
            break;
        case Command::batch:
            status = run_batch(batch);
            break;
        case Command::scan:
            status = run_scan();
            break;
        }
        // A late answer must not reach whatever runs next on this line.
        settle(m_port);
        return m_platform.stop() ? exit_interrupted : status;
    }

private:
    Result result(std::string what, int exit) const
    {
        return {to_string(m_opt.command), std::move(what), exit,
                m_opt.baud ? std::optional(m_port.baud) : std::nullopt};
    }
    void tell(const Result& r) const { print(r, m_opt.json, m_out, m_err); }
    int timeout() const
    {
        return m_opt.timeout_ms > 0 ? m_opt.timeout_ms : default_read_timeout_ms(m_port.baud);
    }

    int read()
    {
        const ReadReply reply = exchange_read(m_port, m_opt.id, timeout());
        Result r = result(to_string(reply.kind),
                          reply.kind == ReadReply::Kind::value ? exit_ok : exit_failed);
        r.fields.add("id", m_opt.id).add_reply_details(reply);
        r.text = text_id(m_opt.id) + reply_text(reply);
        tell(r);
        return r.exit;
    }

    Result change_result(const CheckedChange& c, int line, int from, int to) const
    {
        Result r = result(to_string(c.outcome), outcome_exit(c));
        if (line)
            r.fields.add("line", line);
        r.fields.add("from", from).add("to", to);
        if (c.before)
            r.fields.add_json("check", reply_object(*c.before));
        if (c.after)
            r.fields.add_json("readback", reply_object(*c.after));
        r.text = text_ids(from, to) + c.text;
        if (c.outcome == Outcome::taken || c.outcome == Outcome::not_run)
            return r;
        if (!c.change.reply.empty())
            r.fields.add("reply", hex_bytes(c.change.reply));
        r.fields.add_bool("filed", c.change.filed()).add("log", c.change.log_path);
        if (!c.change.filed()) {
            const std::string why = error_text(c.change.log_error);
            r.fields.add("log_error", why);
            r.text += '\n';
            r.text += text_log_not_written(c.change.log_path, why);
        }
        return r;
    }

    // One checked change, told; whether the user's stop cut it short.
    Result change(int line, std::uint8_t from, std::uint8_t to, bool& stopped)
    {
        ChangeChecks checks{!m_opt.force, !m_opt.no_verify, timeout(), m_opt.confirm_ms,
                            m_platform.stop};
        const CheckedChange c = checked_change(m_port, m_folder, from, to, checks);
        Result r = change_result(c, line, from, to);
        tell(r);
        stopped = c.stopped;
        return r;
    }

    int run_batch(const BatchFile& batch);
    std::string batch_table(const BatchFile& batch, const std::vector<std::string>& results) const;
    int run_scan();
    bool scan_progress(const ScanProgress& p) const;
    std::string scan_table(const ScanResult& scan) const;

    const Options& m_opt;
    std::string m_folder;
    const Platform& m_platform;
    std::FILE* m_out;
    std::FILE* m_err;
    WatchedLine m_line;
    LineClock m_clock;
    OpenPort m_port;
    bool m_progress; // err is a terminal: progress is shown there
};

int Session::run_batch(const BatchFile& batch)
{
    std::vector<std::string> results(batch.changes.size(), to_string(Outcome::not_run));
    int status = exit_ok;
    std::size_t done = 0;
    bool stopped = false;
    while (done < batch.changes.size() && !(stopped = m_platform.stop())) {
        const BatchLine& c = batch.changes[done];
        if (m_progress)
            std::fprintf(
                m_err, "%s\n",
                text_batch_progress(done + 1, batch.changes.size(), c.line, c.old_id, c.new_id)
                    .c_str());
        const Result r = change(c.line, c.old_id, c.new_id, stopped);
        results[done++] = r.result;
        if (r.exit != exit_ok && (status == exit_ok || r.exit == exit_not_filed))
            status = r.exit;
        if (stopped || (r.exit != exit_ok && !m_opt.keep_going))
            break;
    }
    const int final_status = stopped ? exit_interrupted : status;
    for (std::size_t i = done; i < batch.changes.size(); ++i) {
        const BatchLine& c = batch.changes[i];
        Result r = result(to_string(Outcome::not_run), final_status);
        r.fields.add("line", c.line).add("from", c.old_id).add("to", c.new_id);
        r.text = m_opt.json ? text_not_run : ""; // the table shows them in text
        tell(r);
    }
    Result summary = result("summary", final_status);
    summary.fields.add("done", static_cast<long long>(done))
        .add("total", static_cast<long long>(batch.changes.size()))
        .add_bool("interrupted", stopped);
    summary.text = batch_table(batch, results);
    tell(summary);
    return final_status;
}

std::string Session::batch_table(const BatchFile& batch,
                                 const std::vector<std::string>& results) const
{
    if (m_opt.json)
        return "";
    char row[96];
    std::snprintf(row, sizeof row, "\n%-6s%-8s%-8s%s", "line", "old", "new", "result");
    std::string table = row;
    for (std::size_t i = 0; i < batch.changes.size(); ++i) {
        const BatchLine& c = batch.changes[i];
        std::snprintf(row, sizeof row, "\n%-6d%-8d%-8d%s", c.line, c.old_id, c.new_id,
                      results[i].c_str());
        table += row;
    }
    return table;
}

bool Session::scan_progress(const ScanProgress& p) const
{
    if (m_progress)
        std::fprintf(m_err, "\r%s",
                     text_scan_progress(p.baud, p.id, p.devices,
                                        (p.total - p.done) *
                                            static_cast<std::size_t>(p.timeout_ms + 1) / 1000)
                         .c_str());
    return !m_platform.stop();
}

std::string Session::scan_table(const ScanResult& scan) const
{
    std::string table = text_scan_heading;
    for (const ScanHit& hit : scan.hits) {
        char row[32];
        std::snprintf(row, sizeof row, "\n%-6d%-8d", hit.id, hit.baud);
        table += row + hit_text(hit);
    }
    return table + "\n" + text_found(scan.devices);
}

int Session::run_scan()
{
    ScanPlan plan{m_opt.baud ? std::vector{m_opt.baud} : scan_speeds(), m_opt.first_id,
                  m_opt.last_id, m_opt.timeout_ms, m_opt.first};
    const ScanResult scan =
        qrv::scan(m_port, plan, [this](const ScanProgress& p) { return scan_progress(p); });
    if (m_progress)
        std::fputs("\n", m_err);
    for (const std::int32_t baud : scan.refused) {
        Result r = result("speed_refused", exit_port);
        r.baud = baud;
        r.text = text_speed_refused(baud);
        tell(r);
    }
    for (const ScanHit& hit : scan.hits) {
        Result r = result(to_string(hit.reply.kind), hit.device() ? exit_ok : exit_failed);
        r.baud = hit.baud;
        r.fields.add("id", hit.id).add_bool("device", hit.device()).add_reply_details(hit.reply);
        r.text = m_opt.json ? hit_text(hit) : ""; // the table shows them in text
        tell(r);
    }
    const int status = scan.stopped                               ? exit_interrupted
                       : scan.devices > 0                         ? exit_ok
                       : scan.refused.size() == plan.bauds.size() ? exit_port
                                                                  : exit_failed;
    if (scan.stopped && !m_opt.json)
        std::fprintf(m_err, "qrv-idctl: %s\n", text_scan_stopped);
    Result summary = result("summary", status);
    summary.fields.add("found", static_cast<long long>(scan.devices))
        .add("done", static_cast<long long>(scan.done))
        .add("total", static_cast<long long>(scan.total))
        .add_bool("interrupted", scan.stopped);
    summary.text = m_opt.json ? text_found(scan.devices) : scan_table(scan);
    tell(summary);
    return status;
}

// An error before anything is sent, told as every result is.
int tell_error(const char* command, const char* what, int exit, const std::string& text, bool json,
               std::FILE* out, std::FILE* err)
{
    Result r{command ? command : "", what, exit, std::nullopt};
    r.text = text;
    r.error = true;
    print(r, json, out, err);
    return exit;
}

// Opens the port as given and sets its speed; the port number, or the exit
// status of a failure, which is told.
int open_port(const Options& opt, const Platform& platform, int& port, std::FILE* out,
              std::FILE* err)
{
    const auto number = port_number(opt.port);
    port = number.value_or(1);
    const int opened =
        number ? platform.serial.sio_open(port) : platform.serial.sio_open_device(port, opt.port);
    const char* command = to_string(opt.command);
    if (opened != sio_ok)
        return tell_error(command, "port_error", exit_port,
                          std::string(msg_open_failed) + "：" + opt.port, opt.json, out, err);
    // A scan sets each speed itself, and tells those the port refuses.
    if (opt.command != Command::scan && platform.serial.sio_baud(port, opt.baud) != sio_ok) {
        platform.serial.sio_close(port);
        return tell_error(command, "port_error", exit_port,
                          std::string(msg_baud_failed) + "：" + std::to_string(opt.baud), opt.json,
                          out, err);
    }
    return exit_ok;
}

// The batch's list, checked whole; the exit status of a failure, which is told.
int load_batch(const Options& opt, BatchFile& batch, std::FILE* out, std::FILE* err)
{
    const FileBytes file = read_batch_file(opt.file);
    if (file.error.empty())
        batch = parse_batch(file.bytes);
    else
        batch.errors = {file.error};
    if (batch.errors.empty())
        return exit_ok;
    std::string text;
    for (const std::string& e : batch.errors)
        text += opt.file + "：" + e + "\n";
    return tell_error("batch", "file_error", exit_usage, text + text_file_refused, opt.json, out,
                      err);
}

} // namespace

int run(const std::vector<std::string>& args, const std::string& tool_folder,
        const Platform& platform, std::FILE* out, std::FILE* err)
{
    const Parsed parsed = parse_options(args);
    if (const auto* help = std::get_if<Help>(&parsed)) {
        std::fputs(help->text.c_str(), out);
        return exit_ok;
    }
    if (const auto* usage = std::get_if<UsageError>(&parsed)) {
        const bool json = std::ranges::find(args, "--json") != args.end();
        const std::string hint =
            usage->command ? std::string("qrv-idctl ") + to_string(*usage->command) + " --help"
                           : "qrv-idctl --help";
        return tell_error(
            usage->command ? to_string(*usage->command) : nullptr, "usage_error", exit_usage,
            json ? usage->message : usage->message + "\n" + usage_see(hint), json, out, err);
    }
    const Options& opt = std::get<Options>(parsed);
    BatchFile batch;
    if (opt.command == Command::batch)
        if (const int status = load_batch(opt, batch, out, err); status != exit_ok)
            return status;
    int port = 0;
    if (const int status = open_port(opt, platform, port, out, err); status != exit_ok)
        return status;
    const int status = Session(opt, tool_folder, platform, port, out, err).run(batch);
    platform.serial.sio_close(port);
    return status;
}

} // namespace qrv::cli
