// The publishing linked in; see publishing_built_in.h.
#include "station/publishing_built_in.h"

#include "station/main_form.h"
#include "station/publishing_feed.h"

TPublishingOpening OpenPublishingModule()
{
    return {std::make_unique<TStationPublishing>(), {}};
}

TStationPublishing& BuiltInPublishing(TForm1& form)
{
    Q_ASSERT(form.Publishing);
    return static_cast<TStationPublishing&>(form.Publishing->Module());
}
