# Who writes to whom in a small club, by hand.
Creator "a club secretary"
Version 2
graph [
  comment "directed: letters go one way"
  directed 1
  node [ id 1 label "Ann &amp; Bo" kind "board" graphics [ x 1.5 y -2 fill "#ff0000" ] ]
  node [ id 2 label "Cy" kind "member" ]
  node [
    id 3
    label "D&eacute;a"
    kind "member"
  ]
  node [ id 004 label "Eli" kind "guest" weight 0.5 ]
  node [ id 5 kind "member" ]
  edge [ source 1 target 2 label "note" ]
  edge [ source 1 target 3 ]
  edge [ source 2 target 3 ]
  edge [ source 3 target 4 graphics [ line [ point [ x 1 y 2 ] ] ] ]
  edge [ target 2 source 4 ]
  edge [ source 1 target 2 ]
  edge [ source 5 target 5 ]
]
