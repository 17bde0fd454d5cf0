#pragma once

/// \file
/// Everything a host needs: the facade, the configuration store, the enumeration service, the
/// clock, site files, the settings job, and messages read back (decoded, and imported into a
/// site file).

#include <ssmsg/CSApplicationManagerStd.h>
#include <ssmsg/CSDevice_Containers.h>
#include <ssmsg/CSDevice_Records.h>
#include <ssmsg/CSDevice_Resource.h>
#include <ssmsg/CSS_Clock.h>
#include <ssmsg/CSS_Import.h>
#include <ssmsg/CSS_Json.h>
#include <ssmsg/CSS_Manager.h>
#include <ssmsg/CSS_Message.h>
#include <ssmsg/CSS_Report.h>
#include <ssmsg/CSS_Site.h>
#include <ssmsg/CSS_SiteDb.h>
#include <ssmsg/CSS_SiteDiff.h>
#include <ssmsg/CSS_SiteSettings.h>
#include <ssmsg/CSS_Types.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/version.h>
