#include "ImportFollowUp.h"

#include "CLogin.h"
#include "Delivery.h"
#include "QcStore.h"
#include "SharedObjects.h"
#include "Worklist.h"

namespace {

// The lab's sample IDs for the new datasets, then the deliveries to every profile's folder. Only
// when the archive itself holds the import: one waiting on this PC goes out after it reached it.
void deliver(SharedObjects &shared, const Archive::Result &result, const Archive::Summary &summary,
             QStringList *notices)
{
    if (!result || summary.keptLocally || !shared.archive->enabled())
        return;
    const QString login = shared.login->UserName();
    if (shared.worklist && !summary.newDatasetIds.isEmpty()) {
        Worklist::Report report;
        const Archive::Result mapped =
            shared.worklist->apply(*shared.archive, summary.newDatasetIds, login, &report);
        notices->append(mapped ? report.text() : mapped.message);
    }
    notices->append(Delivery::deliverToAll(*shared.archive, login, &shared.deliveryTold));
}

} // namespace

ImportFollowUp followUpImport(SharedObjects &shared, const Archive::Result &result,
                              const Archive::Summary &summary)
{
    ImportFollowUp followUp;
    followUp.notices.append(Archive::report(result, summary));
    // Values kept on this PC while the server is away are judged where the definitions live, once
    // they are sent: the ids here are those of this PC's own archive.
    if (result && !summary.keptLocally && !summary.newDatasetIds.isEmpty()) {
        const QcStore::Judgement judgement =
            QcStore::judgeNew(*shared.archive, summary.newDatasetIds, shared.login->UserName());
        followUp.notices += judgement.notices;
        followUp.outOfControl = judgement.outOfControl;
    }
    // Every import delivers what is pending, also one that found nothing new (a profile made since).
    deliver(shared, result, summary, &followUp.notices);
    return followUp;
}
