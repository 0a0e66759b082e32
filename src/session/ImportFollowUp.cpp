#include "ImportFollowUp.h"

#include "SharedObjects.h"

ImportFollowUp followUpImport(SharedObjects &shared, const Archive::Result &result,
                              const Archive::Summary &summary)
{
    Q_UNUSED(shared);
    ImportFollowUp followUp;
    followUp.notices.append(Archive::report(result, summary));
    return followUp;
}
