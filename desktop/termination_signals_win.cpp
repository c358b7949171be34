#include "termination_signals.h"

namespace desktop {

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
}

TerminationSignals::~TerminationSignals() = default;

void TerminationSignals::readPipe()
{
}

} // namespace desktop
