// What qrv-idctl tells: one result type for every command, printed as the
// lines a technician reads or as one JSON object of one vocabulary.
#pragma once

#include "frame.h"
#include "text_sink.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace qrv::cli {

// Exit statuses.
enum Exit : int {
    exit_ok = 0,            // done, and confirmed where it is checked
    exit_failed = 1,        // the device did not take or confirm the ID, or nothing answered
    exit_usage = 2,         // usage or input file error: nothing was sent
    exit_port = 3,          // the port could not be opened or set
    exit_taken = 4,         // refused: the new ID is taken on this line
    exit_not_filed = 5,     // a record could not be added to the day log
    exit_output = 6,        // the results could not be written (standard output closed or full)
    exit_interrupted = 130, // stopped by Ctrl-C or SIGTERM, where no attempt is cut in half
};

// The members of a JSON object, in order, each value already JSON.
class JsonFields {
public:
    JsonFields& add(std::string_view key, std::string_view text);
    JsonFields& add(std::string_view key, long long number);
    JsonFields& add_bool(std::string_view key, bool value);
    JsonFields& add_json(std::string_view key, std::string_view json);
    // The members of more, after these.
    JsonFields& add_all(const JsonFields& more);
    // What a read's reply holds beyond its kind, by the keys every command
    // uses: value, code, from and late where they apply.
    JsonFields& add_reply_details(const ReadReply& reply);
    // "{...}".
    std::string object() const { return "{" + m_members + "}"; }

private:
    std::string m_members;
};

struct Result {
    Result(std::string command_, std::string result_, std::optional<int> exit_,
           std::optional<std::int32_t> baud_)
        : command(std::move(command_)), result(std::move(result_)), exit(exit_), baud(baud_)
    {
    }

    std::string command;     // "read", "change", "batch", "scan"; "" before one is known
    std::string result;      // a reply kind, an outcome, "summary" or an error's kind
    std::optional<int> exit; // what the program exits with for this alone; none: not run
    std::optional<std::int32_t> baud;
    JsonFields fields;  // what else the object says
    std::string text;   // the lines a technician reads; empty: nothing in text
    bool error = false; // text goes to standard error
};

// One JSON line, or the text; false when it could not be written.
bool print(const Result& result, bool json, TextSink& out, TextSink& err);

// A JSON string of text that should be UTF-8; a byte that is no part of a
// UTF-8 character (a path's, say) is written as the text \xNN ("\\xC7" in
// the JSON), never dropped.
std::string json_string(std::string_view text);

} // namespace qrv::cli
