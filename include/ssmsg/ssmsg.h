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
#include <ssmsg/Import.h>
#include <ssmsg/Json.h>
#include <ssmsg/CSS_Manager.h>
#include <ssmsg/Message.h>
#include <ssmsg/Report.h>
#include <ssmsg/Site.h>
#include <ssmsg/SiteDatabase.h>
#include <ssmsg/SiteDiff.h>
#include <ssmsg/SiteSettings.h>
#include <ssmsg/CSS_Types.h>
#include <ssmsg/CSToolEnum.h>
#include <ssmsg/version.h>
