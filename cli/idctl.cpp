#include "idctl.h"

#include "assign.h"
#include "batch_file.h"
#include "checked_change.h"
#include "day_log_file.h"
#include "interrupt.h"
#include "options.h"
#include "report.h"
#include "scan.h"
#include "texts.h"
#include "vocabulary.h"
#include "watched_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace qrv::cli {

namespace {

using Outcome = CheckedChange::Outcome;

// The speed the command line gave; none for a scan of every speed.
std::optional<std::int32_t> given_baud(const Options& opt)
{
    return opt.baud ? std::optional(opt.baud) : std::nullopt;
}

// The status of a run of changes once one more has ended with exit: the
// first failure's, but a day log not written before any other.
int with_exit(int status, int exit)
{
    return exit != exit_ok && (status == exit_ok || exit == exit_not_filed) ? exit : status;
}

int outcome_exit(const CheckedChange& c)
{
    if (c.stopped)
        return exit_interrupted;
    if (c.line_status != sio_ok)
        return exit_port;
    // Every attempt is filed, a request that could not be written too.
    if (!c.change.log_path.empty() && !c.change.filed())
        return exit_not_filed;
    switch (c.outcome) {
    case Outcome::confirmed:
    case Outcome::moved:
    case Outcome::unverified:
    case Outcome::already_done:
        return exit_ok;
    case Outcome::taken:
    case Outcome::several:
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
    if (!hit.device())
        return text_unrecognised(hit.reply);
    std::string text = reply_text(hit.reply);
    if (hit.reply.kind == ReadReply::Kind::value && hit.reply.value != hit.id)
        text += text_register_differs;
    return hit.identity ? text + "，" + text_identity(*hit.identity) : text;
}

// A device's identification as an object of its own.
std::string identity_object(const IdentifyReply& identity)
{
    JsonFields fields;
    fields.add("result", identity.malformed ? "identify_malformed" : to_string(identity.kind));
    if (identity.kind == ReadReply::Kind::value)
        fields.add("vendor", identity.identity.vendor)
            .add("product", identity.identity.product)
            .add("revision", identity.identity.revision);
    else
        fields.add_reply_details({identity.kind, 0, identity.code, identity.from});
    return fields.object();
}

// A table of changes, one row each: its number (a batch's line, assign's
// device), the old and new ID and the result.
struct TableRow {
    std::size_t number;
    int from, to;
    std::string result;
};

// How many columns text takes on a terminal, where a CJK character takes two.
std::size_t columns(std::string_view text)
{
    return std::ranges::count_if(text,
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; }) +
           2 * static_cast<std::size_t>(std::ranges::count_if(
                   text, [](char c) { return static_cast<unsigned char>(c) >= 0xC0; }));
}

// text and the blanks that make it width columns wide; one blank at least.
std::string padded(std::string_view text, std::size_t width)
{
    const std::size_t taken = columns(text);
    return std::string(text).append(taken < width ? width - taken : 1, ' ');
}

std::string change_table(const char* numbered_by, const std::vector<TableRow>& rows)
{
    // The first column as wide as its heading and two blanks, six at least.
    const std::size_t width = std::max<std::size_t>(6, columns(numbered_by) + 2);
    std::string table = "\n" + padded(numbered_by, width) + padded(text_table_old, 8) +
                        padded(text_table_new, 8) + text_table_result;
    for (const TableRow& r : rows)
        table += "\n" + padded(std::to_string(r.number), width) +
                 padded(std::to_string(r.from), 8) + padded(std::to_string(r.to), 8) +
                 text_result_word(r.result);
    return table;
}

// A read's object with the ID it was made at.
std::string read_object(const ReadReply& reply, int id)
{
    return JsonFields()
        .add("result", to_string(reply.kind))
        .add("id", id)
        .add_reply_details(reply)
        .object();
}

// The command line's run once the port is open: every command and what it
// tells.
class Session {
public:
    Session(const Options& opt, const std::string& folder, const Platform& platform, int port,
            TextSink& out, TextSink& err)
        : m_opt(opt), m_folder(folder), m_platform(platform), m_out(out), m_err(err),
          m_watched(platform.serial, opt.verbose ? &err : nullptr, opt.echo),
          m_line(m_watched, port, platform.clock, opt.baud, late_answer_ms),
          m_progress(platform.err_is_terminal)
    {
        m_line.set_stop([this] { return stopping(); });
        if (opt.verbose)
            m_line.set_trace([this](const char* what, std::span<const std::uint8_t> bytes) {
                m_watched.show(what, bytes);
            });
    }

    int run(const BatchFile& batch)
    {
        int status = exit_ok;
        switch (m_opt.command) {
        case Command::read:
            status = read();
            break;
        case Command::change:
            status = change(0, m_opt.from, m_opt.to).exit.value_or(exit_ok);
            break;
        case Command::batch:
            status = run_batch(batch);
            break;
        case Command::scan:
            status = run_scan();
            break;
        case Command::assign:
            status = run_assign();
            break;
        case Command::ports:
            break; // opens no port: see list_ports
        }
        // A late answer must not reach whatever runs next on this line.
        m_line.settle();
        if (m_opt.verbose && m_line.noise_bytes() > 0)
            say(text_noise_dropped(m_line.noise_bytes()).c_str());
        return ending(m_platform.stop(), status);
    }

private:
    Result result(std::string what, std::optional<int> exit) const
    {
        return {to_string(m_opt.command), std::move(what), exit, given_baud(m_opt)};
    }

    // What the run exits with: results that could not be written, then a
    // stop, come before what it found.
    int ending(bool stopped, int status) const
    {
        return m_output_failed ? exit_output : stopped ? exit_interrupted : status;
    }

    // A line of the program's own on standard error.
    void say(const char* text) { m_err.write(std::string("qrv-idctl: ") + text + "\n"); }

    // Tells a result; an adapter that echoes is said once, and in every
    // JSON object after.
    void tell(Result r)
    {
        if (m_watched.echoes()) {
            r.fields.add_bool("echo", true);
            if (!m_echo_told && !m_opt.json)
                say(text_echo_found);
            m_echo_told = true;
        }
        if (!print(r, m_opt.json, m_out, m_err) && !std::exchange(m_output_failed, true))
            say(text_output_failed);
    }

    // The user asked to stop, or nobody reads what is told any more.
    bool stopping() const { return m_output_failed || m_platform.stop(); }

    // The line failed: its device and the system's words for why.
    void add_port_failure(Result& r) const
    {
        const std::string device = m_watched.sio_device(m_line.port());
        const std::string reason =
            m_line.failed() == line_busy ? text_line_busy : m_watched.sio_last_error();
        r.fields.add("port_device", device).add("reason", reason);
        r.text += '\n';
        r.text += text_port_failure(device, reason);
    }

    // The line failed between attempts: the result that says so.
    Result line_failure(int status, std::string text) const
    {
        Result r = result(status == sio_port_gone ? "port_lost" : "not_sent", exit_port);
        r.text = std::move(text);
        add_port_failure(r);
        return r;
    }

    int timeout() const
    {
        return m_opt.timeout_ms > 0 ? m_opt.timeout_ms : default_read_timeout_ms(m_line.baud());
    }

    int read()
    {
        // Nothing is sent after a stop, however early it came.
        const ReadReply reply =
            stopping() ? ReadReply{} : exchange_read(m_line, m_opt.id, timeout());
        const bool cut_short = reply.kind == ReadReply::Kind::none && stopping();
        Result r = result(to_string(reply.kind), cut_short ? exit_interrupted
                                                 : reply.kind == ReadReply::Kind::value ? exit_ok
                                                 : reply.line_failed()                  ? exit_port
                                                                       : exit_failed);
        r.fields.add("id", m_opt.id).add_reply_details(reply);
        r.text = text_id(m_opt.id) + (cut_short ? text_read_stopped : reply_text(reply));
        if (reply.line_failed())
            add_port_failure(r);
        tell(r);
        return r.exit.value_or(exit_ok);
    }

    Result change_result(const CheckedChange& c, int line, int from, int to) const;

    ChangeChecks change_checks() const
    {
        return {!m_opt.force, !m_opt.force, !m_opt.no_verify, timeout(), m_opt.confirm_ms};
    }

    // One checked change, told.
    Result change(int line, std::uint8_t from, std::uint8_t to)
    {
        const CheckedChange c = checked_change(m_line, m_folder, from, to, change_checks());
        Result r = change_result(c, line, from, to);
        tell(r);
        return r;
    }

    int run_batch(const BatchFile& batch);
    std::string batch_table(const BatchFile& batch, const std::vector<std::string>& results) const;
    int run_scan();
    bool scan_progress(const ScanProgress& p);
    std::string scan_table(const ScanResult& scan) const;
    int run_assign();
    void assign_event(const AssignEvent& event);
    int assign_status(const AssignResult& result) const;

    // The progress line on a terminal, made room for a result.
    void show_progress(const std::string& text)
    {
        if (m_progress)
            m_err.write(std::string(1, '\r').append(text));
        m_progress_shown = m_progress;
    }
    void clear_progress()
    {
        if (std::exchange(m_progress_shown, false))
            m_err.write(std::string(1, '\r').append(79, ' ').append(1, '\r'));
    }
    // The terminal's bell, for a technician whose eyes are on the devices:
    // once when one is numbered (connect the next), twice when they are
    // needed (a failure, more than one device, the list used up).
    void ring(int times)
    {
        if (m_progress)
            m_err.write(std::string(static_cast<std::size_t>(times), '\a'));
    }

    const Options& m_opt;
    std::string m_folder;
    const Platform& m_platform;
    TextSink& m_out;
    TextSink& m_err;
    WatchedLine m_watched;
    Line m_line;
    bool m_progress;              // err is a terminal: progress is shown there
    bool m_output_failed = false; // a result could not be written
    bool m_echo_told = false;
    bool m_progress_shown = false; // a progress line stands on the terminal
};

Result Session::change_result(const CheckedChange& c, int line, int from, int to) const
{
    Result r = result(to_string(c.outcome), outcome_exit(c));
    if (line)
        r.fields.add("line", line);
    r.fields.add("from", from).add("to", to);
    if (c.source)
        r.fields.add_json("old_check", read_object(*c.source, from));
    if (c.before)
        r.fields.add_json("check", read_object(*c.before, to));
    if (c.after)
        r.fields.add_json("readback", read_object(*c.after, to));
    r.text = text_ids(from, to) + c.text;
    if (!c.change.reply.empty())
        r.fields.add("reply", hex_bytes(c.change.reply));
    if (c.outcome == Outcome::refused) {
        const std::uint8_t code = c.change.reply[2];
        r.fields.add("code", code).add("exception", exception_name(code));
    }
    if (!c.change.log_path.empty()) {
        r.fields.add_bool("filed", c.change.filed()).add("log", c.change.log_path);
        if (!c.change.filed()) {
            const std::string why = error_text(c.change.log_error);
            r.fields.add("log_error", why);
            r.text += '\n';
            r.text += text_log_not_written(c.change.log_path, why);
        }
    }
    if (c.line_status != sio_ok)
        add_port_failure(r);
    return r;
}

int Session::run_batch(const BatchFile& batch)
{
    std::vector<std::string> results(batch.changes.size(), to_string(Outcome::not_run));
    int status = exit_ok;
    std::size_t done = 0;
    bool stopped = false;
    while (done < batch.changes.size() && !(stopped = stopping())) {
        const BatchLine& c = batch.changes[done];
        if (m_progress)
            m_err.write(
                text_batch_progress(done + 1, batch.changes.size(), c.line, c.old_id, c.new_id) +
                "\n");
        const Result r = change(c.line, c.old_id, c.new_id);
        const int exit = r.exit.value_or(exit_ok);
        results[done++] = r.result;
        status = with_exit(status, exit);
        stopped = exit == exit_interrupted;
        // A port that failed takes no further request, whatever --keep-going says.
        if (stopped || exit == exit_port || (exit != exit_ok && !m_opt.keep_going))
            break;
    }
    stopped = stopped || stopping();
    const int final_status = ending(stopped, status);
    for (std::size_t i = done; i < batch.changes.size(); ++i) {
        const BatchLine& c = batch.changes[i];
        Result r = result(to_string(Outcome::not_run), std::nullopt);
        r.fields.add("line", c.line).add("from", c.old_id).add("to", c.new_id);
        r.text = m_opt.json ? text_not_run : ""; // the table shows them in text
        tell(r);
    }
    Result summary = result("summary", final_status);
    summary.fields.add("done", static_cast<long long>(done))
        .add("total", static_cast<long long>(batch.changes.size()))
        .add_bool("interrupted", stopped);
    const std::string said = text_batch_done(done, batch.changes.size());
    summary.text = m_opt.json ? said : batch_table(batch, results) + "\n" + said;
    tell(summary);
    return final_status;
}

std::string Session::batch_table(const BatchFile& batch,
                                 const std::vector<std::string>& results) const
{
    std::vector<TableRow> rows;
    for (std::size_t i = 0; i < batch.changes.size(); ++i) {
        const BatchLine& c = batch.changes[i];
        rows.push_back({static_cast<std::size_t>(c.line), c.old_id, c.new_id, results[i]});
    }
    return change_table(text_table_line, rows);
}

bool Session::scan_progress(const ScanProgress& p)
{
    show_progress(
        text_scan_progress(p.baud, p.id, p.devices,
                           (p.total - p.done) * static_cast<std::size_t>(p.timeout_ms + 1) / 1000));
    return !stopping();
}

std::string Session::scan_table(const ScanResult& scan) const
{
    std::string table = scan.stopped ? std::string(text_scan_stopped) + "\n" : std::string();
    table += text_scan_heading;
    for (const ScanHit& hit : scan.hits) {
        char row[32];
        std::snprintf(row, sizeof row, "\n%-6d%-8d", hit.id, hit.baud);
        table += row + hit_text(hit);
    }
    return table + "\n" + text_found(scan.devices);
}

int Session::run_scan()
{
    ScanPlan plan{m_opt.baud ? std::vector{m_opt.baud} : scan_speeds(),
                  m_opt.first_id,
                  m_opt.last_id,
                  m_opt.timeout_ms,
                  m_opt.first,
                  m_opt.identify};
    const ScanResult scan =
        qrv::scan(m_line, plan, [this](const ScanProgress& p) { return scan_progress(p); });
    clear_progress();
    for (const std::int32_t baud : scan.refused) {
        Result r = result("speed_refused", exit_port);
        r.baud = baud;
        r.text = text_speed_refused(baud);
        tell(r);
    }
    for (const ScanHit& hit : scan.hits) {
        Result r = result(to_string(hit.reply.kind), hit.device() ? exit_ok : exit_failed);
        r.baud = hit.baud;
        r.fields.add("id", hit.id).add_bool("is_device", hit.device()).add_reply_details(hit.reply);
        if (hit.identity)
            r.fields.add_json("identity", identity_object(*hit.identity));
        r.text = m_opt.json ? hit_text(hit) : ""; // the table shows them in text
        tell(r);
    }
    if (scan.failed != sio_ok)
        tell(line_failure(scan.failed, text_scan_line_failed));
    const int status = scan.stopped                               ? exit_interrupted
                       : scan.failed != sio_ok                    ? exit_port
                       : scan.devices > 0                         ? exit_ok
                       : scan.refused.size() == plan.bauds.size() ? exit_port
                                                                  : exit_failed;
    Result summary = result("summary", status);
    summary.fields.add("found", static_cast<long long>(scan.devices))
        .add("done", static_cast<long long>(scan.done))
        .add("total", static_cast<long long>(scan.total))
        .add_bool("interrupted", scan.stopped);
    summary.text = m_opt.json ? text_found(scan.devices) : scan_table(scan);
    tell(summary);
    return status;
}

void Session::assign_event(const AssignEvent& e)
{
    if (e.kind == AssignEvent::Kind::waiting || e.kind == AssignEvent::Kind::changing) {
        show_progress(e.kind == AssignEvent::Kind::waiting
                          ? text_assign_waiting(m_opt.from, e.id, e.devices)
                          : text_assign_changing(m_opt.from, e.id, e.devices + 1));
        return;
    }
    clear_progress();
    if (e.kind == AssignEvent::Kind::removal) {
        say(text_remove_device);
        return;
    }
    if (e.kind == AssignEvent::Kind::changed) {
        Result r = change_result(*e.change, 0, m_opt.from, e.id);
        r.fields.add("device_number", static_cast<long long>(e.devices));
        r.text = text_device_number(e.devices) + r.text;
        tell(r);
        ring(numbered(e.change->outcome) ? 1 : 2);
        return;
    }
    const bool several = e.kind == AssignEvent::Kind::several;
    Result r = result(several ? "several_devices" : "skipped", std::nullopt);
    if (several) {
        r.fields.add("id", m_opt.from).add_json("reply", read_object(*e.reply, m_opt.from));
        r.text = text_several(m_opt.from, *e.reply);
        ring(2);
    } else {
        r.fields.add("to", e.id).add_json("check", read_object(*e.change->before, e.id));
        r.text = text_skipped(e.id, *e.change->before);
    }
    tell(r);
}

// The first failure's status (a day log not written before any other), or
// what ended the run.
int Session::assign_status(const AssignResult& result) const
{
    int status = exit_ok;
    for (const AssignedDevice& d : result.devices)
        status = with_exit(status, outcome_exit(d.change));
    if (status == exit_ok && result.failed != sio_ok)
        status = exit_port;
    if (status == exit_ok && result.used_up)
        status = exit_taken;
    return ending(result.stopped, status);
}

int Session::run_assign()
{
    const AssignPlan plan{m_opt.from, m_opt.to_list, change_checks(), m_opt.keep_going};
    const AssignResult result =
        qrv::assign(m_line, m_folder, plan, [this](const AssignEvent& e) { assign_event(e); });
    clear_progress();
    const bool told_failure =
        !result.devices.empty() && result.devices.back().change.line_status != sio_ok;
    if (result.failed != sio_ok && !told_failure) {
        const ReadReply::Kind kind =
            result.failed == sio_port_gone ? ReadReply::Kind::port_lost : ReadReply::Kind::not_sent;
        tell(line_failure(result.failed, reply_text({kind})));
    }
    if (result.used_up) {
        Result r = this->result("list_used_up", exit_taken);
        r.text = text_list_used_up;
        tell(r);
        ring(2);
    }
    std::vector<TableRow> rows;
    std::size_t numbered_devices = 0;
    for (const AssignedDevice& d : result.devices) {
        rows.push_back({rows.size() + 1, m_opt.from, d.to, to_string(d.change.outcome)});
        numbered_devices += numbered(d.change.outcome);
    }
    const int status = assign_status(result);
    Result summary = this->result("summary", status);
    summary.fields.add("done", static_cast<long long>(numbered_devices))
        .add("devices", static_cast<long long>(result.devices.size()))
        .add("total", static_cast<long long>(m_opt.to_list.size()))
        .add_bool("interrupted", result.stopped);
    const std::string done = text_assign_done(numbered_devices, result.devices.size());
    summary.text = m_opt.json ? done : change_table(text_table_device, rows) + "\n" + done;
    tell(summary);
    return status;
}

// An error before anything is sent, told as every result is.
int tell_error(Result r, const std::string& text, bool json, TextSink& out, TextSink& err)
{
    r.text = text;
    r.error = true;
    print(r, json, out, err);
    return r.exit.value_or(exit_ok);
}

// Opens the port as given and sets its speed; the port number, or the exit
// status of a failure, which is told with the device and why.
int open_port(const Options& opt, const Platform& platform, int& port, TextSink& out, TextSink& err)
{
    const auto number = port_number(opt.port);
    port = number.value_or(1);
    SerialApi& serial = platform.serial;
    int status = number ? serial.sio_open(port) : serial.sio_open_device(port, opt.port);
    // A scan sets each speed itself, and tells those the port refuses.
    if (status == sio_ok && opt.command != Command::scan &&
        (status = serial.sio_baud(port, opt.baud)) != sio_ok)
        serial.sio_close(port);
    if (status == sio_ok)
        return exit_ok;
    Result r{to_string(opt.command), "port_error", exit_port, given_baud(opt)};
    const std::string device = serial.sio_device(port), reason = serial.sio_last_error();
    r.fields.add("port_device", device).add("reason", reason);
    return tell_error(r, text_open_failed(status, device, reason), opt.json, out, err);
}

// The ports the system has, each told as a result, then how many there are.
int list_ports(const Options& opt, const std::string& folder, const Platform& platform,
               TextSink& out, TextSink& err)
{
    bool written = true;
    long long found = 0;
    for (const SystemPort& port : platform.list_ports(folder)) {
        Result r{"ports", port.link_dead ? "dead_link" : "port",
                 port.link_dead ? std::nullopt : std::optional(exit_ok), std::nullopt};
        if (port.link_dead) {
            r.fields.add("link", port.link).add("target", port.device);
        } else {
            r.fields.add("port_device", port.device)
                .add_json("port_number", port.number ? std::to_string(port.number) : "null");
            for (const auto& [key, value] : {std::pair("link", &port.link),
                                             {"name", &port.name},
                                             {"usb_id", &port.usb_id},
                                             {"serial", &port.serial},
                                             {"by_id", &port.by_id}})
                if (!value->empty())
                    r.fields.add(key, *value);
            ++found;
        }
        r.text = text_system_port(port);
        written = print(r, opt.json, out, err) && written;
    }
    Result summary{"ports", "summary", exit_ok, std::nullopt};
    summary.fields.add("found", found).add("tool_folder", folder);
    // Where the ports/ links above are read, and the day log kept.
    summary.text = text_ports_found(static_cast<std::size_t>(found)) + "\n" +
                   text_tool_folder(platform.folder_holds, folder);
    written = print(summary, opt.json, out, err) && written;
    return written ? exit_ok : exit_output;
}

// The batch's list, checked whole; the exit status of a failure, which is told.
int load_batch(const Options& opt, const Platform& platform, BatchFile& batch, TextSink& out,
               TextSink& err)
{
    FileBytes file;
    if (opt.file != "-") {
        file = read_batch_file(opt.file);
    } else if (int error = 0; !platform.read_input(file.bytes, max_batch_bytes, error)) {
        // Stopped while it waited for the list, a terminal's say: nothing was sent.
        Result r{"batch", "summary", exit_interrupted, given_baud(opt)};
        r.fields.add("done", 0).add("total", 0).add_bool("interrupted", true);
        r.text = text_list_stopped;
        print(r, opt.json, out, err);
        return exit_interrupted;
    } else if (error != 0 || file.bytes.size() > max_batch_bytes) {
        file.error = error != 0 ? text_unreadable(std::strerror(error)) : text_file_too_big;
    }
    if (file.error.empty())
        batch = parse_batch(file.bytes);
    else
        batch.errors = {file.error};
    if (batch.errors.empty())
        return exit_ok;
    std::string text;
    for (const std::string& e : batch.errors)
        text += opt.file + "：" + e + "\n";
    if (batch.more_errors > 0)
        text += text_more_errors(batch.more_errors) + "\n";
    return tell_error({"batch", "file_error", exit_usage, given_baud(opt)},
                      text + text_file_refused, opt.json, out, err);
}

} // namespace

int run(const std::vector<std::string>& args, const std::string& tool_folder,
        const Platform& platform, TextSink& out, TextSink& err)
{
    const Parsed parsed = parse_options(args, platform.max_port, platform.stops);
    if (const auto* help = std::get_if<Help>(&parsed))
        return out.write(help->names_tool_folder
                             ? help->text + text_tool_folder(platform.folder_holds, tool_folder) +
                                   "\n"
                             : help->text)
                   ? exit_ok
                   : exit_output;
    if (const auto* usage = std::get_if<UsageError>(&parsed)) {
        const bool json = std::ranges::find(args, "--json") != args.end();
        const std::string hint =
            usage->command ? std::string("qrv-idctl ") + to_string(*usage->command) + " --help"
                           : "qrv-idctl --help";
        return tell_error({usage->command ? to_string(*usage->command) : "", "usage_error",
                           exit_usage, std::nullopt},
                          json ? usage->message : usage->message + "\n" + usage_see(hint), json,
                          out, err);
    }
    const Options& opt = std::get<Options>(parsed);
    if (opt.command == Command::ports)
        return list_ports(opt, tool_folder, platform, out, err);
    BatchFile batch;
    if (opt.command == Command::batch)
        if (const int status = load_batch(opt, platform, batch, out, err); status != exit_ok)
            return status;
    int port = 0;
    if (const int status = open_port(opt, platform, port, out, err); status != exit_ok)
        return status;
    const int status = Session(opt, tool_folder, platform, port, out, err).run(batch);
    platform.serial.sio_close(port);
    return status;
}

} // namespace qrv::cli
