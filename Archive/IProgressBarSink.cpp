#include "Archive/IProgressBarSink.h"

IProgressBarSink::~IProgressBarSink() = default;
