/* Resource ids of the program's icon and images; shared with Resources.rc. */
#pragma once

#define kProgramIconId 1
#define kBackgroundImage 101
#define kPanelImage 102
#define kLoginButtonImage 103
#define kLogoImage 104
#define kBannerImage 105
