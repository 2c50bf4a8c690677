// Ids of the launcher's strings, shared by the resource scripts and the code; a string's id
// is part of what a translation is filed under, so none is ever renumbered.
#ifndef RESOURCES_MESSAGE_IDS_H_
#define RESOURCES_MESSAGE_IDS_H_

// Messages.
#define IDS_INSTALL_ERROR 300      // "Error Code: %d"
#define IDS_INSTALLED 301          // %s: the product name
#define IDS_UP_TO_DATE 306         // %s: the product name
#define IDS_PRODUCT_NOT_FOUND 307
#define IDS_WRONG_VERSION 308      // %s: the product name
#define IDS_BAD_COMMAND_LINE 309
#define IDS_NO_PATCH_LIST 310

// Captions.
#define IDS_CAPTION_ERROR 311
#define IDS_CAPTION_SUCCESS 312
#define IDS_CAPTION_UNNECESSARY 313

// The version data the build writes in.
#define IDS_TARGET_VERSION 700
#define IDS_CANDIDATE_VERSIONS 900

// The first patch-information text (TXT); the others follow it without a gap.
#define IDR_FIRST_PATCH_INFO 206

#endif  // RESOURCES_MESSAGE_IDS_H_
