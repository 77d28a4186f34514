#include "remote/RemoteCommand.h"

#include <cstdlib>
#include <new>

#include "db/RecordCodec.h"
#include "frame/Messages.h"
#include "frame/StatusLine.h"
#include "remote/Protocol.h"
#include "remote/StatusIO.h"
#include "remote/StreamAdapters.h"
#include "signature/CriteriaFile.h"
#include "signature/Signature.h"
#include "signature/Similarity.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

void AppendStatus(std::string* reply, int code) { *reply += StatusLine(code, StatusText(code)); }

class QueryCommand : public RemoteCommand {
 public:
  bool ReadArguments(const CommandStream& stream) override {
    return ReadInt32(stream, &m_First) && ReadInt32(stream, &m_Last) &&
           ReadString(stream, &m_Path, kMaxPathFieldBytes) &&
           ReadString(stream, &m_CriteriaText, kMaxCriteriaFieldBytes);
  }

  bool Execute(RemoteContext& context, std::string* reply) override {
    Criteria criteria = CurrentCriteria();
    if (!m_CriteriaText.empty() && !ParseCriteriaText(m_CriteriaText, &criteria)) {
      AppendStatus(reply, kStatusServerSyntaxError);
      return true;
    }
    WeightVector weights = BuildWeights(criteria);
    ImageRecord* record = context.db.FindByPath(m_Path);
    if (!record) {
      AppendStatus(reply, kStatusPictureNotInDatabase);
      return true;
    }
    AppendStatus(reply, kStatusOk);
    *reply += context.engine.SimilarText(record, m_First, m_Last, weights);
    return true;
  }

 private:
  int32_t m_First = 0;
  int32_t m_Last = 0;
  std::string m_Path;
  std::string m_CriteriaText;
};

class KnownCommand : public RemoteCommand {
 public:
  bool ReadArguments(const CommandStream& stream) override {
    return ReadString(stream, &m_Path, kMaxPathFieldBytes) && ReadInt32(stream, &m_FileTime);
  }

  bool Execute(RemoteContext& context, std::string* reply) override {
    ImageRecord* record = context.db.FindByPath(m_Path);
    bool known = record && (m_FileTime == 0 ||
                            int64_t{m_FileTime} == std::llabs(int64_t{record->m_FileTime}));
    AppendStatus(reply, known ? kStatusOk : kStatusPictureNotInDatabase);
    return true;
  }

 private:
  std::string m_Path;
  int32_t m_FileTime = 0;
};

class AddCommand : public RemoteCommand {
 public:
  AddCommand() : m_Record(MakeRecord(std::string())) {}
  ~AddCommand() override {
    if (m_Record) DestroyRecord(m_Record);
  }

  // The record arrives as the database reader reads it: any version it accepts, with
  // the lengths bounded by the file format's own limits. A path that would break the
  // one-path-per-line results, or a thumbnail larger than the loader makes, is refused
  // before its pixels are read.
  bool ReadArguments(const CommandStream& stream) override {
    int32_t version = 0;
    if (!ReadInt32(stream, &version) || version < kOldestAddVersion ||
        version > kAddRecordVersion) {
      return false;
    }
    CommandByteStream in(stream);
    if (ReadRecord(in, version, -1, m_Record) != CodecStatus::kOk) return false;
    if (m_Record->m_Path.empty() || m_Record->m_Path.find_first_of("\r\n") != std::string::npos) {
      return false;
    }
    if (ReadThumbnailBlock(in, -1, m_Record, kThumbnailSide) != CodecStatus::kOk) return false;
    // The offset named a place in the client's own file; here the thumbnail lives in
    // memory until this database pages it out.
    m_Record->m_ThumbOffset = -1;
    if (version < kAddRecordVersion) ConvertOldRecord();
    return true;
  }

  bool Execute(RemoteContext& context, std::string* reply) override {
    if (!context.addRecord(m_Record)) return false;
    m_Record = nullptr;
    AppendStatus(reply, kStatusOk);
    return true;
  }

 private:
  static constexpr int32_t kOldestAddVersion = 4;

  // Older versions carry neither the picture size nor a usable signature. As when the
  // database reader converts a record whose picture it cannot decode, both follow from
  // the thumbnail; the path names a file on the client's machine, so it is not opened.
  void ConvertOldRecord() {
    m_Record->m_PictureWidth = m_Record->m_ThumbWidth;
    m_Record->m_PictureHeight = m_Record->m_ThumbHeight;
    ComputeSignature(m_Record->m_ThumbWidth, m_Record->m_ThumbHeight, m_Record->m_ThumbPixels,
                     m_Record->m_PictureWidth, m_Record->m_PictureHeight, m_Record->m_Signature);
  }

  ImageRecord* m_Record;  // owned until executed
};

// Creating a command may fail for lack of memory; that is a failed read, not a crash.
std::unique_ptr<RemoteCommand> MakeCommand(const std::string& word) {
  try {
    if (word == kCommandQuery) return std::make_unique<QueryCommand>();
    if (word == kCommandKnown) return std::make_unique<KnownCommand>();
    return std::make_unique<AddCommand>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

std::unique_ptr<RemoteCommand> ReadCommand(const CommandStream& stream, int32_t idleBudgetMs) {
  std::string word;
  int32_t budget = idleBudgetMs;
  bool overlong = false;
  if (!ReadLine(stream, &word, &budget, kMaxCommandLineLength, &overlong)) {
    if (!overlong) return nullptr;
    // Dropping the rest first lets the answer reach the peer before the connection closes.
    SkipLine(stream, &budget, kMaxDroppedCommandBytes);
  }
  if (word != kCommandQuery && word != kCommandKnown && word != kCommandAdd) {
    WriteStatus(stream, kStatusUnknownCommand, StatusText(kStatusUnknownCommand));
    return nullptr;
  }
  std::unique_ptr<RemoteCommand> command = MakeCommand(word);
  bool read = false;
  if (command) {
    try {
      read = command->ReadArguments(stream);
    } catch (const std::bad_alloc&) {
      read = false;
    }
  }
  if (!read) {
    WriteStatus(stream, kStatusServerSyntaxError, StatusText(kStatusServerSyntaxError));
    return nullptr;
  }
  return command;
}

intptr_t RunRemoteCommand(RemoteContext& context, intptr_t delivery) {
  auto* parcel = reinterpret_cast<CommandDelivery*>(delivery);
  if (!parcel->command->Execute(context, parcel->reply)) return kCommandBusy;
  delete parcel->command;
  return kCommandExecuted;
}

void InstallRemoteHandlers(MessageHost& host, RemoteContext& context) {
  host.SetHandler(MsgRunOnUiThread, [&context](unsigned, uintptr_t, intptr_t lParam) {
    return RunRemoteCommand(context, lParam);
  });
}

}  // namespace gq
