#include "ImportFollowUp.h"

#include "CLogin.h"
#include "QcStore.h"
#include "SharedObjects.h"

ImportFollowUp followUpImport(SharedObjects &shared, const Archive::Result &result,
                              const Archive::Summary &summary)
{
    ImportFollowUp followUp;
    followUp.notices.append(Archive::report(result, summary));
    // Values kept on this PC while the server is away are judged where the definitions live, once
    // they are sent: the ids here are those of this PC's own archive.
    if (!result || summary.keptLocally || summary.newIds.isEmpty())
        return followUp;
    const QcStore::Judgement judgement =
        QcStore::judgeNew(*shared.archive, summary.newIds, shared.login->UserName());
    followUp.notices += judgement.notices;
    followUp.outOfControl = judgement.outOfControl;
    return followUp;
}
