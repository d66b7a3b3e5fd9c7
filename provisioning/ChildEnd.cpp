// What a port's child's end decides: the table, and the child's outcome read as one of its ends; portable.
#include "provisioning/ChildEnd.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace {

using E = RecordEvent;
using S = SaveSent;
using U = UnitNext;
using P = PortNext;
using Shown = PortStage;

const char* const STOPPED = "ended by the second Ctrl-C";
const char* const BEFORE_SAVE = " before its save; the unit waits for the next device";
const char* const AFTER_SAVE =
    " after its save may have reached the device; no new device is taken. See to the device on {device}: it "
    "may hold the unit's configuration in part or whole";

// Only a report read whole can say that "save" was not sent; without one (a crash, a kill, a cut report)
// the save may have been reached. A read sends no "save", and a port that did not open took no byte.
const ChildEndRule RULES[] = {
    {ChildEndCase::ReadStopped, false, E::Failed, S::No, U::BackToPlan, P::Free, Shown::Failed, "",
     "reading stopped; nothing was written", ""},
    {ChildEndCase::ReadNotReached, true, E::Failed, S::No, U::BackToPlan, P::TriedAgain, Shown::Failed,
     "{message}", "{message}; nothing was sent, the port is tried again", ""},
    // Its row and words come with its write.
    {ChildEndCase::ReadWhole, false, E::Started, S::No, U::Write, P::Served, Shown::Writing, "", "", ""},
    {ChildEndCase::ReadFailed, true, E::Failed, S::No, U::BackToPlan, P::Served, Shown::Failed, "{message}",
     "the device could not be read ({message}); nothing was written, the unit waits for the next device", ""},
    {ChildEndCase::WriteWhole, true, E::Done, S::Yes, U::Done, P::Served, Shown::Done, "",
     "written and verified in {seconds} s; connect the next device", ""},
    {ChildEndCase::WriteNotReached, true, E::Failed, S::No, U::BackToPlan, P::Free, Shown::Failed,
     "{message}", "failed ({message})", BEFORE_SAVE},
    {ChildEndCase::WriteFailedBeforeSave, true, E::Failed, S::No, U::BackToPlan, P::Served, Shown::Failed,
     "{message}", "failed ({message})", BEFORE_SAVE},
    {ChildEndCase::WriteMaybeSaved, true, E::Failed, S::Maybe, U::Held, P::Served, Shown::Held, "{message}",
     "failed ({message})", AFTER_SAVE},
    {ChildEndCase::WriteStoppedNotReached, true, E::Interrupted, S::No, U::BackToPlan, P::Free, Shown::Failed,
     STOPPED, "interrupted", BEFORE_SAVE},
    {ChildEndCase::WriteStoppedBeforeSave, true, E::Interrupted, S::No, U::BackToPlan, P::Served,
     Shown::Failed, STOPPED, "interrupted", BEFORE_SAVE},
    {ChildEndCase::WriteStoppedMaybeSaved, true, E::Interrupted, S::Maybe, U::Held, P::Served, Shown::Held,
     STOPPED, "interrupted", AFTER_SAVE},
    {ChildEndCase::WriteWithheld, true, E::Failed, S::No, U::BackToPlan, P::Served, Shown::Left,
     "Ctrl-C came before its write began; nothing was written", "not written, the station is stopping", ""},
};

} // namespace

ChildEndCase ChildEndCaseOf(ChildStage stage, const ChildOutcome& outcome) {
    const bool notReached = outcome.Kind == ChildEndKind::NotStarted || outcome.PortNotOpened;
    const bool whole = outcome.Kind == ChildEndKind::Reported && outcome.Status == 0;
    if (stage == ChildStage::Reading) {
        return outcome.StopAsked            ? ChildEndCase::ReadStopped
               : notReached                 ? ChildEndCase::ReadNotReached
               : whole && outcome.HasDevice ? ChildEndCase::ReadWhole
                                            : ChildEndCase::ReadFailed;
    }
    if (whole) {
        return ChildEndCase::WriteWhole;
    }
    const bool maybe = !notReached && (outcome.Kind == ChildEndKind::Unreadable || outcome.SaveNext);
    if (outcome.StopAsked) {
        return notReached ? ChildEndCase::WriteStoppedNotReached
               : maybe    ? ChildEndCase::WriteStoppedMaybeSaved
                          : ChildEndCase::WriteStoppedBeforeSave;
    }
    return notReached ? ChildEndCase::WriteNotReached
           : maybe    ? ChildEndCase::WriteMaybeSaved
                      : ChildEndCase::WriteFailedBeforeSave;
}

const ChildEndRule& ChildEndRuleOf(ChildEndCase end) {
    const auto found = std::find_if(std::begin(RULES), std::end(RULES),
                                    [&](const ChildEndRule& rule) { return rule.Case == end; });
    // Every end has its row (the tests see to it); an end without one would hold its unit, the safest.
    return found != std::end(RULES) ? *found : ChildEndRuleOf(ChildEndCase::WriteMaybeSaved);
}

// In one pass, so that nothing filled in (a device's serial number, a child's words) is read as a name.
std::string ChildEndWords(const std::string& text, const std::string& message, const std::string& seconds,
                          const std::string& device) {
    const std::pair<const char*, const std::string*> names[] = {
        {"{message}", &message}, {"{seconds}", &seconds}, {"{device}", &device}};
    std::string words;
    for (std::size_t at = 0; at < text.size();) {
        const auto name = std::find_if(std::begin(names), std::end(names), [&](const auto& n) {
            return text.compare(at, std::strlen(n.first), n.first) == 0;
        });
        if (name != std::end(names)) {
            words += *name->second;
            at += std::strlen(name->first);
        } else {
            words += text[at++];
        }
    }
    return words;
}
