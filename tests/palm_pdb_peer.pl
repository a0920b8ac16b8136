#!/usr/bin/perl
# Palm::PDB, a Palm database library no one here wrote, as a peer of our .pdb files.
#   palm_pdb_peer.pl describe FILE        name, type, creator, record count, then one hex line a record
#   palm_pdb_peer.pl copy FROM TO         reads FROM and writes its records anew as TO
#   palm_pdb_peer.pl make TO HEX...       writes QVelements/DATA/NDVE with one record per HEX
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

my $command = shift @ARGV;
if ($command eq 'describe') {
  my $pdb = Palm::PDB->new;
  $pdb->Load($ARGV[0]);
  printf "%s %s %s %d\n", $pdb->{name}, $pdb->{type}, $pdb->{creator}, scalar @{$pdb->{records}};
  print unpack('H*', $_->{data}), "\n" for @{$pdb->{records}};
} elsif ($command eq 'copy' || $command eq 'make') {
  my @records;
  if ($command eq 'copy') {
    my $in = Palm::PDB->new;
    $in->Load($ARGV[0]);
    @records = map { $_->{data} } @{$in->{records}};
  } else {
    @records = map { pack('H*', $_) } @ARGV[1 .. $#ARGV];
  }
  my $out = Palm::Raw->new;
  $out->{name} = 'QVelements';
  $out->{type} = 'DATA';
  $out->{creator} = 'NDVE';
  for my $data (@records) {
    my $record = $out->append_Record();
    $record->{data} = $data;
  }
  $out->Write($ARGV[$command eq 'copy' ? 1 : 0]);
} else {
  die "unknown command $command\n";
}
