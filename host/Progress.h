#pragma once
// Progress on stderr: on a terminal one line redrawn in place with a bar for the file and one
// for the batch; otherwise plain lines at each change of step and every quarter.

#include <cstdio>
#include <string>

namespace velnr {

class ProgressDisplay {
  public:
    ProgressDisplay(std::FILE* stream, bool terminal, bool quiet, int files);

    void BeginFile(int index, const std::string& name);
    // One step of the current file ("Reading", a job's status text, "Writing") at percent.
    void Update(const char* status, float percent);
    // A step of velnr's own (reading, writing): shown on a terminal only.
    void Step(const char* status);
    // Clears the line before other output.
    void Clear();
    void EndBatch();

    // Matches VelHostProgressFn; context is a ProgressDisplay.
    static void Callback(void* context, const char* status, float percent);

    // "[#####-----]" of width cells for percent (clamped; NaN as 0).
    static std::string Bar(float percent, int width);

  private:
    std::FILE* stream_;
    bool terminal_;
    bool quiet_;
    int files_;
    int index_ = 0;
    std::string name_;
    std::string status_;
    int shownPercent_ = -1;
    bool lineOpen_ = false;
    bool analysisSeen_ = false;
};

}  // namespace velnr
