// The five removal phases, run by the entry in this order, each to its end.
#pragma once

void RemoveInstalledFiles();
void SweepLeftovers();
void RemoveFolderRecords();
void PruneEmptyFolders();
void RemoveRegistryRecords();
