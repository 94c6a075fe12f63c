#include "cli/ProcessMetrics.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace nms::cli {

namespace {

// The fields of /proc/self/stat after the command name, which may hold
// blanks and parentheses: field 3 (state) is the first.
std::vector<std::string> statFields()
{
    std::ifstream file("/proc/self/stat");
    const std::string line((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const std::size_t end = line.rfind(')');
    if (end == std::string::npos)
        return {};
    std::istringstream rest(line.substr(end + 1));
    return {std::istream_iterator<std::string>(rest), std::istream_iterator<std::string>()};
}

double field(const std::vector<std::string>& fields, std::size_t number)
{
    const std::size_t index = number - 3;
    return index < fields.size() ? std::strtod(fields[index].c_str(), nullptr) : 0.0;
}

double bootTimeSeconds()
{
    std::ifstream file("/proc/stat");
    std::string key;
    double value = 0.0;
    while (file >> key) {
        if (key == "btime" && file >> value)
            return value;
        file.ignore(1 << 16, '\n');
    }
    return 0.0;
}

int openFds()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr)
        return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    return count - 1; // the directory's own descriptor
}

void gauge(std::string& out, const char* name, const char* type, const char* help, double value)
{
    char number[64];
    std::snprintf(number, sizeof number, "%.15g", value);
    out += std::string("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n' +
           name + ' ' + number + '\n';
}

} // namespace

ProcessMetrics::ProcessMetrics()
{
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    m_startTimeSeconds = bootTimeSeconds() + field(statFields(), 22) / ticks;
}

std::string ProcessMetrics::render() const
{
    const std::vector<std::string> fields = statFields();
    const double ticks = double(::sysconf(_SC_CLK_TCK));
    const double pageSize = double(::sysconf(_SC_PAGESIZE));
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    std::string out;
    gauge(out, "process_cpu_seconds_total", "counter", "User and system CPU time spent.",
          (field(fields, 14) + field(fields, 15)) / ticks);
    gauge(out, "process_resident_memory_bytes", "gauge", "Resident memory size.",
          field(fields, 24) * pageSize);
    gauge(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size.", field(fields, 23));
    gauge(out, "process_start_time_seconds", "gauge", "Start time since the epoch.",
          m_startTimeSeconds);
    gauge(out, "process_open_fds", "gauge", "Open file descriptors.", openFds());
    gauge(out, "process_max_fds", "gauge", "Limit of open file descriptors.",
          double(files.rlim_cur));
    return out;
}

} // namespace nms::cli
