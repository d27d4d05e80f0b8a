// Platform behaviour of the media kinds. Placeholder until the platform layer lands.
#include "catalog/FileItem.h"

int CFileItemMedia::ChooseSource(IUiPort*) { return 1; }
int CFileItemMedia::IsSameVolume(const std::string*) const { return 0; }
int CFileItemMediaCD::ChooseSource(IUiPort*) { return 1; }
int CFileItemMediaCD::IsSameVolume(const std::string*) const { return 0; }
int CFileItemMediaDir::ChooseSource(IUiPort*) { return 0; }
int CFileItemMediaDir::IsSameVolume(const std::string*) const { return 0; }
int CFileItemMediaRem::ChooseSource(IUiPort*) { return 1; }
int CFileItemMediaRem::IsSameVolume(const std::string*) const { return 0; }
