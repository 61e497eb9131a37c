#!/usr/bin/env bash
# GCC 12 destroys what a co_await returns too early where the co_await stands
# in a condition (if, switch, while, for), in an operand of && or ||, or in
# a ?: expression: every such co_await is awaited into a named variable
# first. It also destroys twice an object built with braces in the arguments
# of the awaited call: such an argument is a named variable first. Prints
# each place that breaks this.
#   awaits_test.sh SRC_FOLDER
set -euo pipefail
src=$1
[[ -d $src ]] || { echo "FAIL: no folder $src"; exit 1; }
cd "$src"
mapfile -t files < <(find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | sort)
perl -0777 -ne '
    BEGIN { $bad = 0; $awaits = 0 }
    # Comments, strings and characters hold no code; their line breaks stay.
    s{//[^\n]*|/\*.*?\*/|"(?:[^"\\\n]|\\.)*"|\x27(?:[^\x27\\\n]|\\.)*\x27}{ my $t = $&; $t =~ s/[^\n]//g; $t }gse;
    my $line = sub { 1 + (substr($_, 0, $_[0]) =~ tr/\n//) };
    my $report = sub {
        my ($at, $what) = @_;
        printf "FAIL: %s:%d: co_await %s\n", $ARGV, $line->($at), $what;
        $bad++;
    };
    $awaits++ while /\bco_await\b/g;
    while (/\b(if|switch|while|for)\s*(\((?:[^()]++|(?2))*\))/g) {
        my ($keyword, $condition, $at) = ($1, $2, $-[0]);
        $report->($at, "in the condition of $keyword") if $condition =~ /\bco_await\b/;
    }
    while (/\bco_await\s+[\w:.>-]+\s*(\((?:[^()]++|(?1))*\))/g) {
        my ($arguments, $at) = ($1, $-[0]);
        $report->($at, "with an object built in its arguments") if $arguments =~ /[\w>]\s*\{/;
    }
    # Reported once: the conditions go, their line breaks stay.
    s{\b(?:if|switch|while|for)\s*(\((?:[^()]++|(?1))*\))}{ my $t = $&; $t =~ s/[^\n]/ /g; $t }ge;
    # A statement: from one ; { or } to the next. What stands in parentheses
    # without a co_await, such as the arguments of a call, is no operand.
    while (/[^;{}\s][^;{}]*/g) {
        my ($text, $at) = ($&, $-[0]);
        next unless $text =~ /\bco_await\b/;
        1 while $text =~ s/\((?![^()]*\bco_await\b)[^()]*\)/ /;
        $report->($at, "beside && or ||") if $text =~ /&&|\|\|/;
        $report->($at, "in a ?: expression") if $text =~ /\?[^:]*:/;
    }
    END {
        print "awaits: $awaits co_await, $bad in conditions\n";
        exit($bad == 0 && $awaits > 0 ? 0 : 1);
    }
' "${files[@]}"
