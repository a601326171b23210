// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/transfer_meter.h"

namespace msifter::platform {

namespace {

thread_local TransferMeter* current = nullptr;

}  // namespace

MeteredCopies::MeteredCopies(TransferMeter& meter) : previous_(current) { current = &meter; }

MeteredCopies::~MeteredCopies() { current = previous_; }

TransferMeter* threadMeter() { return current; }

}  // namespace msifter::platform
