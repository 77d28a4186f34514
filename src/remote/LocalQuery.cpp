#include "remote/LocalQuery.h"

#include <cstdio>

#include "frame/AtomicFile.h"
#include "frame/QueryText.h"
#include "frame/StatusLine.h"
#include "signature/CriteriaFile.h"
#include "signature/Similarity.h"

namespace gq {
namespace {

bool WriteStatusCode(const std::string& resultFile, int code) {
  return WriteStatusToFile(resultFile, code, StatusText(code));
}

}  // namespace

bool LocalQuery(std::string_view queryText, const std::string& criteriaFile,
                RemoteContext& context) {
  size_t cursor = 0;
  QueryText query = ParseQueryText(queryText, &cursor);
  if (!query.ok) {
    WriteStatusIntoResultFile(queryText, kStatusServerSyntaxError,
                              StatusText(kStatusServerSyntaxError));
    return false;
  }
  Criteria criteria = CurrentCriteria();
  if (!criteriaFile.empty() && !ReadCriteriaFile(criteriaFile, &criteria)) {
    WriteStatusCode(query.resultFile, kStatusCriteriaUnreadable);
    return false;
  }
  WeightVector weights = BuildWeights(criteria);
  ImageRecord* record = context.db.FindByPath(query.picture);
  if (!record) {
    WriteStatusCode(query.resultFile, kStatusPictureNotInDatabase);
    return false;
  }
  std::string text = StatusLine(kStatusOk, StatusText(kStatusOk)) +
                     context.engine.SimilarText(record, query.first, query.last, weights);
  AtomicFile out(query.resultFile);
  FILE* file = out.Open();
  bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (!written) out.Discard();
  if (written && out.Commit()) return true;
  ReportLostResultFile(out);
  return false;
}

}  // namespace gq
