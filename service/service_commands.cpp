#include "service/service_commands.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "calib/calibration_file.h"
#include "calib/block_file.h"
#include "platform/file_open.h"
#include "platform/stop_signals.h"
#include "term/clean_text.h"
#include "service/record_file.h"
#include "service/record_report.h"
#include "service/report_html.h"
#include "service/report_text.h"
#include "service/sha256.h"
#include "service/stick_session.h"

namespace service {
namespace {

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Whether what went to the output stream reached it; said when it did not
// (closed, a full disk, a reader gone), as nobody else can tell.
bool OutputWritten(const CommandEnvironment& env) {
    env.out->flush();
    if (*env.out) return true;
    *env.err << "kx9calib: cannot write to standard output\n";
    return false;
}

// Said before anything is sent: lengths that no transfer can work with.
bool ReportsFitOrSay(const StickSession& stick, std::ostream& err) {
    const std::string why = stick.UnfitReports();
    if (why.empty()) return true;
    err << "kx9calib: " << term::CleanText(stick.Node()) << " cannot carry the block: " << why
        << "; nothing was sent\n";
    return false;
}

std::string GoneText(const StickSession& stick) {
    return term::CleanText(stick.Node()) + " went away";
}

// The stick's block, or the one message that says it could not be read.
bool FetchOrSay(StickSession& stick, CalibrationRecord* record, std::ostream& err) {
    const EepromOutcome outcome = stick.Fetch(record);
    if (outcome == EepromOutcome::kDone) return true;
    if (outcome == EepromOutcome::kGone) {
        err << "kx9calib: " << GoneText(stick) << "; its EEPROM was not read\n";
    } else {
        err << "kx9calib: cannot read the EEPROM of " << term::CleanText(stick.Node()) << "\n";
    }
    return false;
}

int Dump(const CommandRequest& o, const CommandEnvironment& env) {
    std::ostream& err = *env.err;
    const bool toStdout = o.file == "-";
    // Before the stick is touched: the answer does not depend on it.
    if (!toStdout && !o.force && Exists(o.file)) {
        err << "kx9calib: " << term::CleanText(o.file) << " exists; dump --force replaces it\n";
        return kCommandFailed;
    }
    StickSession stick(*env.hid, err, env.openAdvice, env.inUse);
    if (!stick.Open() || !ReportsFitOrSay(stick, err)) return kCommandFailed;
    CalibrationRecord record{};
    if (!FetchOrSay(stick, &record, err)) return kCommandFailed;
    if (toStdout) {
        *env.out << FormatCalibrationFile(record);
        return OutputWritten(env) ? kCommandOk : kCommandFailed;
    }
    // Checked again as the file is made: another program may have made it
    // since.
    const NewFileStatus saved =
        o.force ? (SaveCalibrationFile(o.file.c_str(), record) ? NewFileStatus::kWritten
                                                               : NewFileStatus::kFailed)
                : SaveNewCalibrationFile(o.file.c_str(), record);
    if (saved == NewFileStatus::kExists) {
        err << "kx9calib: " << term::CleanText(o.file) << " exists; dump --force replaces it\n";
        return kCommandFailed;
    }
    if (saved != NewFileStatus::kWritten) {
        err << "kx9calib: cannot write " << term::CleanText(o.file) << "\n";
        return kCommandFailed;
    }
    err << "kx9calib: the block of " << term::CleanText(stick.Node()) << " is in "
        << term::CleanText(o.file) << "\n";
    return kCommandOk;
}

// Reads a block file for restore and verify: 0 when read, else the exit
// status, the reason already told.
int LoadBlock(const std::string& path, const CommandEnvironment& env, CalibrationRecord* record) {
    std::string error;
    switch (ReadBlockFile(path, record, &error)) {
        case BlockFileStatus::kOk:
            return kCommandOk;
        case BlockFileStatus::kUnreadable:
            *env.err << "kx9calib: " << term::CleanText(error) << "\n";
            return kCommandFailed;
        case BlockFileStatus::kNotABlock:
            break;
    }
    *env.err << "kx9calib: " << term::CleanText(error) << "\n";
    return kCommandUsage;
}

// The stick's block before the restore, on disk under a name that was free:
// --backup's, or the dated one with a number added while that is taken.
// False with the reason told.
bool SaveBackup(const CommandRequest& o, const CommandEnvironment& env,
                const CalibrationRecord& current, std::string* backup) {
    NewFileStatus saved = NewFileStatus::kExists;
    for (int taken = 1; saved == NewFileStatus::kExists && taken <= 100; ++taken) {
        *backup = o.backup;
        if (backup->empty()) {
            *backup = env.folder.empty()
                          ? DatedBackupName(taken)
                          : (std::filesystem::path(env.folder) / DatedBackupName(taken)).string();
        }
        saved = SaveNewCalibrationFile(backup->c_str(), current);
        if (!o.backup.empty()) break;
    }
    if (saved == NewFileStatus::kWritten) return true;
    if (saved == NewFileStatus::kExists) {
        *env.err << "kx9calib: " << term::CleanText(*backup) << " exists; nothing was written\n";
    } else {
        *env.err << "kx9calib: cannot write the backup " << term::CleanText(*backup)
                 << "; nothing was written\n";
    }
    return false;
}

// The restore's row in the record, when one is kept; false with the reason
// told.
bool KeepRestoreRow(const CommandRequest& o, const CommandEnvironment& env,
                    const StickSession& stick, const CalibrationRecord& wanted,
                    std::string_view result) {
    if (o.record.empty()) return true;
    RecordRow row = NewRecordRow("restore");
    row.device = term::CleanText(stick.Node());
    if (env.list) {
        for (const FoundController& c : env.list()) {
            if (c.node != stick.Node()) continue;
            row.serial = term::CleanText(c.serial);
            row.vidPid = c.vidPid;
        }
    }
    row.result = result;
    row.fields = wanted;
    std::vector<char> bytes;
    if (ReadCalibrationBytes(plat::OpenRegularFileToRead(o.file.c_str()), bytes)) {
        Sha256 hash;
        hash.Add(bytes.data(), bytes.size());
        row.configSha256 = hash.HexDigest();
    }
    const std::string failed = AppendRecordRow(o.record, row);
    if (failed.empty()) return true;
    *env.err << "kx9calib: " << failed << "\n";
    return false;
}

int Restore(const CommandRequest& o, const CommandEnvironment& env) {
    std::ostream& err = *env.err;
    CalibrationRecord wanted{};
    if (const int status = LoadBlock(o.file, env, &wanted)) return status;
    if (const std::string refused = CheckRecordFile(o.record);
        !o.record.empty() && !refused.empty()) {
        err << "kx9calib: " << refused << "; nothing was written\n";
        return kCommandFailed;
    }

    // A backup never replaces anything, least of all an older backup: a
    // name given that is taken is refused before the stick is touched.
    if (!o.noBackup && !o.backup.empty() && Exists(o.backup)) {
        err << "kx9calib: " << term::CleanText(o.backup) << " exists; nothing was written\n";
        return kCommandFailed;
    }

    StickSession stick(*env.hid, err, env.openAdvice, env.inUse);
    if (!stick.Open() || !ReportsFitOrSay(stick, err)) return kCommandFailed;
    const std::string node = term::CleanText(stick.Node());
    // A request to stop is kept from here until the block is back: before
    // the first chunk it stops the restore with nothing written, after it
    // once the stick reads back whole.
    plat::StopSignalHold hold;
    std::string backup;
    if (!o.noBackup) {
        CalibrationRecord current{};
        const EepromOutcome read = stick.Fetch(&current);
        if (read != EepromOutcome::kDone) {
            err << "kx9calib: "
                << (read == EepromOutcome::kGone ? GoneText(stick) + " before"
                                                 : "cannot read the EEPROM of " + node + " for")
                << " the backup; nothing was written\n";
            return kCommandFailed;
        }
        if (!SaveBackup(o, env, current, &backup)) return kCommandFailed;
        err << "kx9calib: the block of " << node << " was backed up to " << term::CleanText(backup)
            << "\n";
    }
    const std::string kept =
        o.noBackup ? std::string() : "; its block before is in " + term::CleanText(backup);

    if (const int signal = hold.Pending()) {
        err << "kx9calib: stopped by signal " << signal << "; nothing was written\n";
        KeepRestoreRow(o, env, stick, wanted, kResultInterrupted);
        return kCommandInterrupted + signal;
    }

    // The store reads the block back and counts it only when it came back
    // whole and the same.
    // A request to stop that came meanwhile is acted on once what the stick
    // holds has been said.
    const auto settle = [&](int status) {
        const int signal = hold.Pending();
        if (signal == 0) return status;
        err << "kx9calib: stopped by signal " << signal;
        if (status == kCommandOk) {
            err << " once the block was written whole" << kept << "\n";
        } else {
            err << " once the write was over\n";
        }
        return kCommandInterrupted + signal;
    };
    CalibrationRecord stored{};
    const std::string file = term::CleanText(o.file);
    const EepromOutcome outcome = stick.Store(wanted, &stored);
    // On disk before the exit status says the stick is done, and before a
    // stop request is acted on.
    const auto recorded = [&](int status) {
        return KeepRestoreRow(o, env, stick, wanted, RecordResult(outcome)) ? status
                                                                            : kCommandFailed;
    };
    switch (outcome) {
        case EepromOutcome::kDone:
            err << "kx9calib: " << node << " holds the block of " << file
                << " (read back and verified)\n";
            return settle(recorded(kCommandOk));
        case EepromOutcome::kGone:
            err << "kx9calib: " << GoneText(stick) << " while the block of " << file
                << " was written; what it holds is not known" << kept << "\n";
            return settle(recorded(kCommandFailed));
        case EepromOutcome::kNoReply:
            err << "kx9calib: the block of " << file << " went to " << node
                << " but it gave no reply to the read-back; whether it holds it is not known"
                << kept << "\n";
            return settle(recorded(kCommandFailed));
        case EepromOutcome::kNotSent:
        case EepromOutcome::kUnfitReports:
            // Say what the stick kept instead, where it can still be read.
            if (stick.Fetch(&stored) == EepromOutcome::kDone) {
                for (const std::string& line : DifferingFields(stored, wanted)) {
                    err << "  " << line << "\n";
                }
            }
            err << "kx9calib: writing the block to " << node << " failed: not every chunk was sent"
                << kept << "\n";
            return settle(recorded(kCommandFailed));
        case EepromOutcome::kDiffers:
            break;
    }
    for (const std::string& line : DifferingFields(stored, wanted)) err << "  " << line << "\n";
    err << "kx9calib: writing the block to " << node << " failed: it does not read back as " << file
        << kept << "\n";
    return settle(recorded(kCommandFailed));
}

int Verify(const CommandRequest& o, const CommandEnvironment& env) {
    std::ostream& err = *env.err;
    CalibrationRecord expected{};
    if (const int status = LoadBlock(o.file, env, &expected)) return status;
    StickSession stick(*env.hid, err, env.openAdvice, env.inUse);
    if (!stick.Open() || !ReportsFitOrSay(stick, err)) return kCommandFailed;
    CalibrationRecord actual{};
    if (!FetchOrSay(stick, &actual, err)) return kCommandFailed;
    const std::vector<std::string> differences = DifferingFields(actual, expected);
    for (const std::string& line : differences) *env.out << line << "\n";
    if (!differences.empty()) {
        err << "kx9calib: " << term::CleanText(stick.Node()) << " differs from "
            << term::CleanText(o.file) << " in " << differences.size()
            << (differences.size() == 1 ? " field" : " fields") << "\n";
        return kCommandFailed;
    }
    err << "kx9calib: " << term::CleanText(stick.Node()) << " holds the block of "
        << term::CleanText(o.file) << "\n";
    return kCommandOk;
}

int List(const CommandRequest& o, const CommandEnvironment& env) {
    const std::vector<FoundController> found = env.list();
    std::string error;
    const int chosen = ChooseStick(found, o.device, &error);
    if (o.json) {
        *env.out << ListJson(found, chosen);
    } else if (found.empty()) {
        *env.out << "No game controllers found.\n";
    } else {
        *env.out << ListText(found, chosen);
        if (chosen >= 0) *env.out << "* the stick that kx9calib takes\n";
    }
    if (!OutputWritten(env)) return kCommandFailed;
    if (chosen < 0) {
        *env.err << "kx9calib: " << error << "\n";
        return kCommandFailed;
    }
    // Finding the stick is not enough: say now if it cannot be opened.
    if (env.accessAdvice) {
        const std::string advice = env.accessAdvice(found[static_cast<std::size_t>(chosen)]);
        if (!advice.empty()) *env.err << advice << "\n";
    }
    return kCommandOk;
}

int Report(const CommandRequest& o, const CommandEnvironment& env) {
    RecordReport report;
    std::string error;
    if (!BuildRecordReport(o.records, &report, &error)) {
        *env.err << "kx9calib: " << error << "\n";
        return kCommandFailed;
    }
    if (o.html.empty()) {
        *env.out << (o.json ? ReportJson(report)
                            : ReportText(report, env.width ? env.width() : 80));
        return OutputWritten(env) ? kCommandOk : kCommandFailed;
    }
    std::string page;
    if (!ReportHtml(report, &page, &error)) {
        *env.err << "kx9calib: " << error << "\n";
        return kCommandFailed;
    }
    if (!WriteTextFileReplacing(o.html.c_str(), page)) {
        *env.err << "kx9calib: cannot write " << term::CleanText(o.html) << "\n";
        return kCommandFailed;
    }
    *env.err << "kx9calib: the report is in " << term::CleanText(o.html) << "\n";
    return kCommandOk;
}

}  // namespace

std::string DatedBackupName(int taken) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    // The one call here; nothing else in the program asks for local time.
    if (const std::tm* t = std::localtime(&now)) local = *t;
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    char name[64];
    if (taken > 1) {
        std::snprintf(name, sizeof name, "kx9-backup-%s-%d.txt", stamp, taken);
    } else {
        std::snprintf(name, sizeof name, "kx9-backup-%s.txt", stamp);
    }
    return name;
}

int RunServiceCommand(const CommandRequest& options, const CommandEnvironment& env) {
    // Files only: no stick is looked for.
    if (options.command == Command::kReport) return Report(options, env);
    // A stick asked for by name and not there is named with what is.
    if (!options.device.empty() && options.command != Command::kList) {
        std::string error;
        if (ChooseStick(env.list(), options.device, &error) < 0) {
            *env.err << "kx9calib: " << error << "\n";
            return kCommandFailed;
        }
    }
    switch (options.command) {
        case Command::kDump:
            return Dump(options, env);
        case Command::kRestore:
            return Restore(options, env);
        case Command::kVerify:
            return Verify(options, env);
        case Command::kList:
            return List(options, env);
        case Command::kDialog:
        case Command::kReport:
            break;
    }
    return kCommandUsage;
}

}  // namespace service
