#include <string>
#include <vector>

#include "farm/EqualizeLeftOut.h"
#include "ranges/QueueFile.h"
#include "session/FarmSession.h"

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

FarmSession::EqualizeSteps FarmSession::planEqualize(const MachineTable& machines) const {
  EqualizeSteps steps;
  steps.machines = EqualizeMachines(machines, EqualizeLeftOut(machines, model_.Options));
  steps.plan = PlanEqualize(steps.machines);
  for (const std::string& message : LeftOutMessages(machines, steps.machines))
    steps.leftOut += Text(message) + '\n';
  if (!steps.leftOut.isEmpty()) steps.leftOut += '\n';
  if (!steps.plan.SpeedKnown()) steps.noSpeed = QString::fromLatin1(kNoSpeedMessage);
  steps.attentionCaption = QString::fromLatin1(kAttentionCaption);
  for (const std::string& message : AttentionMessages(steps.plan)) steps.attention << Text(message);
  if (steps.plan.Overlapped()) steps.overlapQuestion = QString::fromLatin1(kOverlapQuestion);
  return steps;
}

QString FarmSession::equalize(MachineTable& machines, const EqualizeSteps& steps) {
  const EqualizeResult result = DistributeEqualize(steps.machines, steps.plan);
  ApplyEqualize(machines, result);
  return Text(DoneMessage(result.Seconds));
}

bool FarmSession::hasQueueFile(const std::string& statusPath) {
  return RangeFilePath(statusPath).has_value();
}

std::vector<Range> FarmSession::takenRanges(const std::vector<Range>& asRead,
                                            const std::vector<Range>& now) {
  return TakenRanges(asRead, now);
}

FarmSession::MergedQueue FarmSession::mergeQueueEdit(const std::vector<Range>& asRead,
                                                     const std::vector<Range>& edited,
                                                     const std::vector<Range>& now,
                                                     const std::vector<Range>& taken) {
  return MergeQueueEdit(asRead, edited, now, taken);
}
