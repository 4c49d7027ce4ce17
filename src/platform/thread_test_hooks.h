// For tests only: make the next thread or event creations fail, so that the
// callers' failure paths can be exercised. The programs never call these.
#pragma once

namespace plat {

// The next n Thread::Start / Event::Create calls fail.
void FailNextThreadStarts(int n);
void FailNextEventCreates(int n);

}  // namespace plat
