#include "qvdib/QvGraph.h"

void TQvGraphic::Assign(const TPersistent* source)
{
    // FIXME: loading from the clipboard object comes with the clipboard bridge.
    TGraphic::Assign(source);
}
