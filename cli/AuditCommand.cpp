#include "cli/AuditCommand.h"

#include <cstdio>

#include "Archive/CArchiveJobBuilder.h"
#include "cli/CliSupport.h"
#include "cli/JsonWriter.h"
#include "core/AuditTrail.h"

ZEL_REGISTER_COMMAND(AuditCommand);

int AuditCommand::Validate(const ArgParser& args) {
  const std::string& action = args.Positional()[0];
  if (action != "show" && action != "verify") return UsageError("unknown action " + action);
  if (action == "verify" && (args.Has("path") || args.Has("caller") || args.Has("since"))) {
    return UsageError("verify checks the whole trail; the filters go with show");
  }
  const std::string since = args.Value("since");
  // A date or date and time in the trail's own form: 2026-12-01, 2026-12-01T10:00 ...
  if (!since.empty() && (since.size() < 4 || since.find_first_not_of("0123456789-T:Z") != std::string::npos)) {
    return UsageError("--since takes a date as YYYY-MM-DD (UTC), optionally with THH:MM:SS");
  }
  return zel::cli::kExitOk;
}

int AuditCommand::Execute(const ArgParser& args) {
  zel::cli::StartCore();
  zel::AuditTrail trail;
  const bool json = args.Has("json");
  if (args.Positional()[0] == "verify") {
    zel::AuditTrail::Verification check = trail.Verify();
    if (json) {
      JsonWriter writer;
      writer.BeginObject().Field("ok", check.ok).Key("lines").UInt(check.lines);
      if (!check.ok) writer.PathField("file", check.file).Key("line").UInt(check.line).Field("problem", check.problem);
      std::printf("%s\n", writer.EndObject().Text().c_str());
    } else if (check.ok) {
      std::printf("The audit trail is intact: %llu line%s\n", static_cast<unsigned long long>(check.lines),
                  check.lines == 1 ? "" : "s");
    } else {
      std::printf("The audit trail is broken in %s: %s\n", zel::cli::Visible(check.file).c_str(),
                  check.problem.c_str());
    }
    return check.ok ? zel::cli::kExitOk : zel::cli::kExitFailure;
  }
  zel::AuditTrail::Filter filter;
  if (args.Has("path")) filter.path = CArchiveJobBuilder::AbsolutePath(args.Value("path"));
  filter.caller = args.Value("caller");
  filter.since = args.Value("since");
  for (const auto& r : trail.Read(filter)) {
    if (json) {
      JsonWriter writer;
      writer.BeginObject()
          .Key("seq")
          .Int(r.seq)
          .Field("time", r.time)
          .Field("user", r.user)
          .Field("host", r.host)
          .Field("action", r.action)
          .Field("detail", r.detail)
          .PathField("path", r.path)
          .Field("caller", r.caller)
          .Field("before", r.before)
          .Field("after", r.after)
          .EndObject();
      std::printf("%s\n", writer.Text().c_str());
    } else {
      std::string line = r.time + "  " + r.user + "@" + r.host + "  " + r.action;
      if (!r.detail.empty()) line += " (" + r.detail + ")";
      if (!r.path.empty()) line += "  " + r.path;
      if (!r.caller.empty()) line += "  caller " + r.caller;
      std::printf("%s\n", zel::cli::Visible(line).c_str());
    }
  }
  return zel::cli::kExitOk;
}
