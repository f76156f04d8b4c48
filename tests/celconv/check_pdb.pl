#!/usr/bin/perl
# tests/celconv/check_pdb.pl DIR -- parses every DIR/*.pdb with Palm::PDB, a Palm database
# reader that shares nothing with celconv, and compares it with DIR/<name>.expect:
#   name <database name>
#   type <four characters>
#   creator <four characters>
#   records <count>
#   appinfo <length of the application information>
#   record <index> <bytes in hex>
# Prints one line per database and exits non-zero if any differs.
use strict;
use warnings;
use Palm::PDB;
use Palm::Raw;

my $dir = shift or die "usage: check_pdb.pl DIR\n";
my $failures = 0;
my @databases = sort glob("$dir/*.pdb");
die "no databases in $dir\n" unless @databases;

for my $path (@databases) {
    (my $expectPath = $path) =~ s/\.pdb$/.expect/;
    open(my $in, '<', $expectPath) or die "$expectPath: $!\n";
    my %expect;
    my @records;
    while (my $line = <$in>) {
        chomp $line;
        my ($key, $rest) = split / /, $line, 2;
        $rest = '' unless defined $rest;
        if ($key eq 'record') {
            my ($index, $hex) = split / /, $rest, 2;
            $records[$index] = defined $hex ? $hex : '';
        } else {
            $expect{$key} = $rest;
        }
    }
    close $in;

    my $pdb = Palm::PDB->new;
    my @problems;
    eval { $pdb->Load($path); 1 } or push @problems, "Palm::PDB could not load it: $@";
    if (!@problems) {
        my %actual = (
            name    => $pdb->{name},
            type    => $pdb->{type},
            creator => $pdb->{creator},
            records => scalar @{ $pdb->{records} || [] },
            appinfo => length($pdb->{appinfo} // q()),
        );
        for my $key (sort keys %expect) {
            push @problems, "$key is '$actual{$key}', expected '$expect{$key}'"
                unless defined $actual{$key} && $actual{$key} eq $expect{$key};
        }
        for my $index (0 .. $#records) {
            my $record = $pdb->{records}[$index];
            my $hex = defined $record ? unpack('H*', $record->{data}) : '(missing)';
            push @problems, "record $index is $hex, expected $records[$index]"
                unless $hex eq $records[$index];
        }
    }
    if (@problems) {
        $failures++;
        print "FAIL $path\n", map { "  $_\n" } @problems;
    } else {
        print "ok   $path\n";
    }
}
exit($failures ? 1 : 0);
