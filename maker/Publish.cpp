#include "maker/Publish.h"

#include <exception>
#include <set>

#include "maker/Libraries.h"
#include "maker/ResultScan.h"
#include "maker/SitePages.h"
#include "net/DownloadChecks.h"

namespace vorn {

namespace {

constexpr const char* kIndexName = "index.html";
constexpr const char* kCompareName = "compare.html";

// Every file this publish writes, known before the first is written.
std::set<std::string> plannedFiles(const std::string& listName, const ResultScan& scan,
                                   const std::vector<LibraryPlan>& libraries) {
    std::set<std::string> files = {listName,   kIndexName,       kCompareName,
                                   kStyleName, kTableScriptName, kCompareScriptName};
    for (const LibraryPlan& library : libraries) {
        files.insert(library.name);
    }
    for (const PublishedResult& result : scan.results) {
        files.insert(resultPagePath(result.name));
    }
    return files;
}

bool putSite(SiteFiles& files, const ResultScan& scan, std::string* why) {
    for (const PublishedResult& result : scan.results) {
        if (!files.put(resultPagePath(result.name), resultPage(result), why)) {
            return false;
        }
    }
    return files.put(kStyleName, styleSheet(), why) &&
           files.put(kTableScriptName, tableScript(), why) &&
           files.put(kCompareScriptName, compareScript(), why) &&
           files.put(kCompareName, comparePage(), why) &&
           files.put(kIndexName, indexPage(scan.results), why);
}

// Libraries first and the list that names them last, so a client never reads a name
// whose file is not there yet; the stale ones go only after the new list is in place.
bool publishFiles(const PublishRequest& request, PublishReport* report) {
    std::string* why = &report->failure;
    ResultScan scan;
    if (!scanResults(request.resultsFolder, &scan, why)) {
        return false;
    }
    report->results = scan.results.size();
    report->skipped = scan.skipped;
    const std::vector<LibraryPlan> libraries = planLibraries(scan.results, request.libraryMaxBytes);
    report->libraries = libraries.size();
    const std::string listName = updateListName(request.version);
    SiteFiles files(request.siteFolder);
    if (!files.begin(plannedFiles(listName, scan, libraries), why)) {
        return false;
    }
    for (const LibraryPlan& library : libraries) {
        if (!files.put(library.name, libraryFileBytes(library), why)) {
            return false;
        }
    }
    // The libraries and pages are on the disk before the list that names them is written.
    const bool ok = putSite(files, scan, why) && files.sync(why) &&
                    files.put(listName, updateListText(request.version, libraries), why) &&
                    files.finish(why) && files.sync(why);
    report->files = files.counts();
    return ok;
}

}  // namespace

bool publishSite(const PublishRequest& request, PublishReport* report) {
    if (!isVersionText(request.version)) {
        report->failure = "\"" + request.version + "\" is no program version";
        return false;
    }
    try {
        return publishFiles(request, report);
    } catch (const std::exception& exception) {
        report->failure = exception.what();
    }
    return false;
}

}  // namespace vorn
